#pragma once
// Shared by the serial suites: a pseudo-terminal published as COMn in the ports folder, the
// owner's loop, and waits on conditions (never on the clock) with a generous deadline that only
// stops a hung test.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <thread>

#include "serial/plain_owner_loop.h"

namespace darvelon::serial::testing {

inline constexpr std::chrono::seconds kDeadline{30};

// The loop of the test's own thread, which owns every port the tests open.
PlainOwnerLoop& ownerLoop();

// Runs the owner's loop until `done` holds.
template <class Predicate>
bool waitFor(Predicate done) {
    return ownerLoop().runUntil(done, kDeadline);
}

// Spins without running the owner's loop, for conditions other threads bring about.
template <class Predicate>
bool spinUntil(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// A pty whose slave is pinned as COM<number>; the test plays the device on the master side.
class PtyPort {
public:
    explicit PtyPort(int comNumber);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    void send(std::span<const std::uint8_t> bytes);  // blocks while the tty's queue is full
    void hangUp();                                   // closes the master, as a pulled cable
    int queuedOnSlave();                             // bytes waiting in the slave's queue, i.e. not yet taken by a read
    int observer() const { return m_observer; }      // a second descriptor of the slave
    const std::filesystem::path& slavePath() const { return m_slave; }

private:
    std::filesystem::path m_entry;
    std::filesystem::path m_slave;
    int m_master = -1;
    int m_observer = -1;
};

}  // namespace darvelon::serial::testing
