// The console's control handler runs on a thread of its own that the system starts for each
// event, so it only sets a flag that the command's loop looks at.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <csignal>
#include <stdexcept>

#include "stop_signals.h"

namespace darvelon::cli {
namespace {

std::atomic<bool> gInstalled{false};
std::atomic<int> gSignal{0};

BOOL WINAPI onConsoleControl(DWORD event) {
    int signal = 0;
    switch (event) {
    case CTRL_C_EVENT: signal = SIGINT; break;
    case CTRL_BREAK_EVENT: signal = SIGBREAK; break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: signal = SIGTERM; break;
    default: return FALSE;
    }
    int none = 0;
    gSignal.compare_exchange_strong(none, signal);
    if (signal == SIGTERM) {
        // The process ends as soon as this handler returns from these events; staying here
        // gives the command its few seconds' grace to close the log. It ends the process
        // itself when it is done.
        ::Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

StopSignals::StopSignals() {
    if (gInstalled.exchange(true)) throw std::logic_error("only one StopSignals at a time");
    gSignal = 0;
    if (!::SetConsoleCtrlHandler(onConsoleControl, TRUE)) {
        gInstalled = false;
        throw std::runtime_error("cannot install the console control handler: " + std::to_string(::GetLastError()));
    }
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    gInstalled = false;
}

bool StopSignals::received() const { return gSignal != 0; }
int StopSignals::signalNumber() const { return gSignal; }

}  // namespace darvelon::cli
