#include <unistd.h>

#include <fstream>
#include <string>

#include "thread_probe.h"

namespace darvelon::serial::testing {

KernelThreadId currentKernelThread() { return ::gettid(); }

bool sleepingOrUntold(KernelThreadId thread) {
    std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
    std::string pid, name, state;
    stat >> pid >> name >> state;
    return state == "S";
}

}  // namespace darvelon::serial::testing
