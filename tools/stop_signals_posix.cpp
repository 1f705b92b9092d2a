#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>

#include "stop_signals.h"

namespace darvelon::cli {
namespace {

constexpr int kStopSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// Handlers may only touch lock-free atomics and async-signal-safe calls.
int gPipe[2] = {-1, -1};
volatile std::sig_atomic_t gSignal = 0;
struct sigaction gPrevious[3];

extern "C" void onStopSignal(int signal) {
    const int savedErrno = errno;
    if (gSignal == 0) gSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

StopSignals::StopSignals() {
    if (gPipe[0] >= 0) throw std::logic_error("only one StopSignals at a time");
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create the signal pipe: " + std::to_string(errno));
    }
    gSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep blocking reads and writes from failing with EINTR in other threads.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &action, &gPrevious[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &gPrevious[i], nullptr);
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

int StopSignals::fd() const { return gPipe[0]; }
bool StopSignals::received() const { return gSignal != 0; }
int StopSignals::signalNumber() const { return gSignal; }

}  // namespace darvelon::cli
