// A simulated device on a port needs a pseudo-terminal that other programs open as COMn;
// Windows has none without a virtual serial port driver, so only --output is offered here.
#include <iostream>

#include "simulate_on_port.h"

namespace darvelon::cli {

int runOnPort(const SimulateOptions&) {
    std::cerr << "darvelon-cli: a simulated device on a port needs Linux; on Windows write the stream to a "
                 "log with --output FILE --seconds N\n";
    return kPublishExit;
}

}  // namespace darvelon::cli
