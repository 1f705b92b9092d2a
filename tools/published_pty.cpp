#include "published_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "serial/port_resolver.h"
#include "serial/ports_folder.h"

namespace darvelon::cli {

namespace fs = std::filesystem;

namespace {

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Simulators change the ports folder only while they hold this lock, each for a moment, so
// two of them never take over the same entry at once.
class FolderLock {
public:
    explicit FolderLock(const fs::path& folder) : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (m_fd < 0) throw systemError("cannot open " + folder.string());
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                throw systemError("cannot lock " + folder.string());
            }
        }
    }
    ~FolderLock() { ::close(m_fd); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

fs::path besideAsNew(const fs::path& path) {
    fs::path temporary = path;
    temporary += ".new-" + std::to_string(::getpid());
    return temporary;
}

}  // namespace

PublishedPty::PublishedPty(int portNumber) {
    const std::string name = "COM" + std::to_string(portNumber);
    const auto entry = serial::portEntry(portNumber);
    if (!entry)
        throw std::runtime_error("cannot publish " + name +
                                 ": no ports folder, as neither XDG_DATA_HOME nor HOME is set");
    m_entry = *entry;
    std::error_code error;
    fs::create_directories(m_entry.parent_path(), error);
    if (error) throw std::runtime_error("cannot create " + m_entry.parent_path().string() + ": " + error.message());

    const FolderLock folderLock(m_entry.parent_path());
    if (const auto publication = serial::readPublication(m_entry)) {
        if (publication->live) {
            throw std::runtime_error(name + " is published by another simulator (" + publication->device.string() +
                                     "); choose another --port");
        }
        // Left by a simulator that was killed: ours to take over.
    } else if (fs::exists(fs::symlink_status(m_entry, error))) {
        // Somebody pinned it by hand: never ours to replace, even when the device is unplugged.
        if (const auto device = serial::resolvePortDevice(portNumber)) {
            throw std::runtime_error(name + " is already pinned to " + device->string() + " by " + m_entry.string() +
                                     "; choose another --port or remove that entry");
        }
        throw std::runtime_error(name + " is pinned by " + m_entry.string() +
                                 " to a device that is absent; choose another --port or remove that entry");
    } else if (const auto device = serial::resolvePortDevice(portNumber)) {
        m_shadowed = *device;
    }
    openPty();
    try {
        publish();
    } catch (...) {
        ::close(m_master);
        if (m_lock >= 0) ::close(m_lock);
        throw;
    }
}

PublishedPty::~PublishedPty() { hangUp(); }

void PublishedPty::openPty() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) throw systemError("cannot create a pseudo-terminal");
    char slave[128];
    int packet = 1;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, slave, sizeof slave) != 0 ||
        ::ioctl(master, TIOCPKT, &packet) != 0) {
        const int saved = errno;
        ::close(master);
        errno = saved;
        throw systemError("cannot set up the pseudo-terminal");
    }
    // A fresh pty cooks its input (IXON swallows XON and XOFF bytes, ICRNL turns CR into LF);
    // a serial line does neither, and a reader that keeps the settings it finds, as Win32
    // programs under Wine do, would get a stream we never sent.
    termios raw{};
    if (::tcgetattr(master, &raw) == 0) {
        ::cfmakeraw(&raw);
        if (::tcsetattr(master, TCSANOW, &raw) == 0) {
            m_master = master;
            m_slave = slave;
            return;
        }
    }
    const int saved = errno;
    ::close(master);
    errno = saved;
    throw systemError("cannot make the pseudo-terminal raw");
}

void PublishedPty::publish() {
    // Each name appears by a rename, whole: first the lock naming the new device, then the
    // link to it. A reader between the two sees them disagree and resolves nothing.
    const fs::path lockPath = serial::publicationLock(m_entry);
    const fs::path newLock = besideAsNew(lockPath);
    const int lock = ::open(newLock.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (lock < 0) throw systemError("cannot create " + newLock.string());
    const std::string text =
        m_slave.string() + "\npublished by darvelon-cli simulate, pid " + std::to_string(::getpid()) + "\n";
    std::error_code error;
    if (::flock(lock, LOCK_EX) != 0 || ::write(lock, text.data(), text.size()) != ssize_t(text.size())) {
        const auto failure = systemError("cannot write " + newLock.string());
        ::close(lock);
        fs::remove(newLock, error);
        throw failure;
    }
    const fs::path newLink = besideAsNew(m_entry);
    fs::remove(newLink, error);
    fs::create_symlink(m_slave, newLink, error);
    if (!error) fs::rename(newLock, lockPath, error);
    if (!error) fs::rename(newLink, m_entry, error);
    if (error) {
        ::close(lock);
        fs::remove(newLock, error);
        fs::remove(newLink, error);
        throw std::runtime_error("cannot publish " + m_entry.string() + ": " + error.message());
    }
    if (m_lock >= 0) ::close(m_lock);
    m_lock = lock;
}

void PublishedPty::withdraw() {
    if (m_lock < 0) return;
    std::error_code error;
    try {
        const FolderLock folderLock(m_entry.parent_path());
        // Only what is still ours: the lock file we hold, and a link to our terminal.
        struct stat held {
        }, there{};
        const fs::path lockPath = serial::publicationLock(m_entry);
        if (::fstat(m_lock, &held) == 0 && ::stat(lockPath.c_str(), &there) == 0 && held.st_ino == there.st_ino &&
            held.st_dev == there.st_dev) {
            if (fs::read_symlink(m_entry, error) == m_slave) fs::remove(m_entry, error);
            fs::remove(lockPath, error);
        }
    } catch (const std::runtime_error&) {
        // The folder went away or cannot be locked: what is left there is stale by itself
        // once our lock is gone.
    }
    ::close(m_lock);
    m_lock = -1;
}

void PublishedPty::hangUp() {
    if (m_master < 0) return;
    withdraw();
    ::close(m_master);
    m_master = -1;
}

void PublishedPty::freeForNextListener() {
    const int slave = ::open(m_slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        ::ioctl(slave, TIOCNXCL);
        ::close(slave);
        return;
    }
    if (errno != EBUSY) return;
    const int oldMaster = std::exchange(m_master, -1);
    const fs::path oldSlave = m_slave;
    try {
        openPty();
        const FolderLock folderLock(m_entry.parent_path());
        publish();
        ::close(oldMaster);
    } catch (const std::runtime_error&) {
        // Keep the terminal we had: an ordinary user cannot reopen it, but root still can.
        if (m_master >= 0) ::close(m_master);
        m_master = oldMaster;
        m_slave = oldSlave;
        throw;
    }
}

bool PublishedPty::listenerGone() const {
    pollfd fd{m_master, 0, 0};
    return ::poll(&fd, 1, 0) == 1 && (fd.revents & POLLHUP);
}

bool PublishedPty::takeReceivePurge() {
    bool purged = false;
    for (;;) {
        // In packet mode every read starts with a status byte; a non-zero one carries only the
        // status, a zero one precedes whatever the slave side wrote (which we ignore).
        std::array<std::uint8_t, 512> buffer;
        const ssize_t got = ::read(m_master, buffer.data(), buffer.size());
        if (got <= 0) return purged;
        if (buffer[0] & TIOCPKT_FLUSHREAD) purged = true;
    }
}

}  // namespace darvelon::cli
