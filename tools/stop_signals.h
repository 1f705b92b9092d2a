#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a readable descriptor (the self-pipe trick), so that a
// command can finish its current step, close its files and exit normally instead of dying
// mid-write. On Windows Ctrl-C, Ctrl-Break and closing the console do the same, through the
// console's control handler. Only one instance may exist at a time; the previous handlers come
// back with it.

namespace darvelon::cli {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int fd() const;         // POSIX only: readable once a stop signal has arrived
    bool received() const;  // a stop signal has arrived
    // The first one that arrived, 0 before that; on Windows SIGINT for Ctrl-C, SIGBREAK for
    // Ctrl-Break and SIGTERM for a closing console, logoff or shutdown.
    int signalNumber() const;
};

}  // namespace darvelon::cli
