// Wine reports every thread's state as zero, so the system's thread list tells nothing here.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "thread_probe.h"

namespace darvelon::serial::testing {

KernelThreadId currentKernelThread() { return ::GetCurrentThreadId(); }

bool sleepingOrUntold(KernelThreadId) { return true; }

}  // namespace darvelon::serial::testing
