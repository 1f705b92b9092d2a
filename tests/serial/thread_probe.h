#pragma once
// Whether another thread has gone to sleep in the kernel, for tests that must catch it waiting
// somewhere rather than merely on its way there.
#include <cstdint>

namespace darvelon::serial::testing {

using KernelThreadId = std::int64_t;

KernelThreadId currentKernelThread();
// True once `thread` sleeps. Windows (and Wine) do not tell, so there it is true at once, and
// a test must then hold whichever side of the wait the thread is on.
bool sleepingOrUntold(KernelThreadId thread);

}  // namespace darvelon::serial::testing
