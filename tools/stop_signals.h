#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a readable descriptor (the self-pipe trick), so that a
// command can finish its current step, close its files and exit normally instead of dying
// mid-write. Only one instance may exist at a time; the previous handlers come back with it.
#include <csignal>

namespace darvelon::cli {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int fd() const;          // readable once a stop signal has arrived
    bool received() const;   // a stop signal has arrived
    int signalNumber() const;  // the first one that arrived, 0 before that

private:
    struct sigaction m_previous[3];
};

}  // namespace darvelon::cli
