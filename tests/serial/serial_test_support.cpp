#include "serial_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "serial/ports_folder.h"

namespace darvelon::serial::testing {
namespace {

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string(what) + " failed, errno " + std::to_string(errno));
}

}  // namespace

PlainOwnerLoop& ownerLoop() {
    static PlainOwnerLoop loop;
    return loop;
}

PtyPort::PtyPort(int comNumber) : m_entry(*portEntry(comNumber)) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    check(m_master >= 0, "posix_openpt");
    check(::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0, "unlockpt");
    char name[64];
    check(::ptsname_r(m_master, name, sizeof name) == 0, "ptsname_r");
    m_slave = name;
    m_observer = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    check(m_observer >= 0, "open slave");
    std::filesystem::remove(m_entry);
    std::filesystem::create_symlink(m_slave, m_entry);
}

PtyPort::~PtyPort() {
    std::filesystem::remove(m_entry);
    hangUp();
    ::close(m_observer);
}

void PtyPort::send(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(m_master, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        check(written > 0, "write to pty master");
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

void PtyPort::hangUp() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

int PtyPort::queuedOnSlave() {
    int queued = -1;
    check(::ioctl(m_observer, FIONREAD, &queued) == 0, "FIONREAD");
    return queued;
}

}  // namespace darvelon::serial::testing
