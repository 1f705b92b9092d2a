#pragma once
// A pseudo-terminal standing in for a serial device: the master side is ours, the slave is
// published as COMn in the ports folder for as long as this object lives, with the lock file
// that vouches for the entry held locked all that time. The master runs in packet mode so that
// we learn when the program on the slave side clears its receive queue, which it does right
// after opening and configuring the port.
#include <filesystem>

namespace darvelon::cli {

class PublishedPty {
public:
    // Throws std::runtime_error with a message for the operator: no ports folder, COMn pinned
    // by hand (to a device present or absent), or published by a simulator that still runs.
    // The entry of a simulator that has ended is taken over.
    explicit PublishedPty(int portNumber);
    ~PublishedPty();
    PublishedPty(const PublishedPty&) = delete;
    PublishedPty& operator=(const PublishedPty&) = delete;

    int master() const { return m_master; }
    const std::filesystem::path& slave() const { return m_slave; }
    const std::filesystem::path& entry() const { return m_entry; }
    // What COMn stood for before we pinned it, when that was a device found without a pin.
    const std::filesystem::path& shadowed() const { return m_shadowed; }

    // No program holds the slave open (it was opened once and closed since). The kernel gives
    // no wake-up for a slave being opened, so callers poll this.
    bool listenerGone() const;
    // Reads the packet-mode status the slave side left; true when it cleared its receive
    // queue since the last call. Never blocks.
    bool takeReceivePurge();
    // After a listener has gone: makes sure the next one can open the port. A listener that was
    // killed leaves the terminal flagged for exclusive use, which only a privileged process can
    // clear; otherwise a fresh pseudo-terminal is published in its place. Throws
    // std::runtime_error when that fails; the old terminal then stays.
    void freeForNextListener();
    // Closes the master as a pulled cable would, and withdraws the ports-folder entry.
    void hangUp();

private:
    void openPty();
    void publish();  // with the ports folder locked against other simulators
    void withdraw();

    std::filesystem::path m_entry;
    std::filesystem::path m_slave;
    std::filesystem::path m_shadowed;
    int m_master = -1;
    int m_lock = -1;  // the lock file that vouches for the entry, locked exclusively
};

}  // namespace darvelon::cli
