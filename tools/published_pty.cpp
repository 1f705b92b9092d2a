#include "published_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#include "serial/port_resolver.h"
#include "serial/ports_folder.h"

namespace darvelon::cli {

namespace fs = std::filesystem;

PublishedPty::PublishedPty(int portNumber) : m_entry(serial::portEntry(portNumber)) {
    const std::string name = "COM" + std::to_string(portNumber);
    std::error_code error;
    const bool pinned = fs::exists(fs::symlink_status(m_entry, error));
    if (const auto device = serial::resolvePortDevice(portNumber)) {
        if (pinned) {
            throw std::runtime_error(name + " is already pinned to " + device->string() + " by " +
                                     m_entry.string() + "; choose another --port or remove that entry");
        }
        m_shadowed = *device;
    }

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0) throw std::runtime_error(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    char slave[128];
    int packet = 1;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 || ::ptsname_r(m_master, slave, sizeof slave) != 0 ||
        ::ioctl(m_master, TIOCPKT, &packet) != 0) {
        const int saved = errno;
        ::close(m_master);
        throw std::runtime_error(std::string("cannot set up the pseudo-terminal: ") + std::strerror(saved));
    }
    m_slave = slave;

    // A pin left behind by a simulator that was killed points at nothing and may go.
    if (pinned) fs::remove(m_entry, error);
    fs::create_directories(m_entry.parent_path(), error);
    fs::create_symlink(m_slave, m_entry, error);
    if (error) {
        ::close(m_master);
        throw std::runtime_error("cannot publish " + name + " as " + m_entry.string() + ": " + error.message());
    }
}

PublishedPty::~PublishedPty() { hangUp(); }

void PublishedPty::withdraw() {
    // Only our own pin: someone may have replaced it meanwhile.
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(m_entry, error)) && fs::read_symlink(m_entry, error) == m_slave) {
        fs::remove(m_entry, error);
    }
}

void PublishedPty::hangUp() {
    if (m_master < 0) return;
    withdraw();
    ::close(m_master);
    m_master = -1;
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
