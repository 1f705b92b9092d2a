#include "serial_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "serial/ports_folder.h"

namespace darvelon::serial::testing {
namespace {

// One application object and one scratch data folder for the whole run, so that ports pinned by
// one test never meet the user's own pins.
class SerialEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/darvelon-serial-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dataHome = pattern;
        ::setenv("XDG_DATA_HOME", pattern, 1);
        std::filesystem::create_directories(portsFolder());
        m_app = std::make_unique<QCoreApplication>(m_argc, m_argv);
    }
    void TearDown() override {
        m_app.reset();
        std::filesystem::remove_all(m_dataHome);
    }

private:
    int m_argc = 1;
    char m_name[16] = "serial_tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QCoreApplication> m_app;
    std::filesystem::path m_dataHome;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SerialEnvironment);

void check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string(what) + " failed, errno " + std::to_string(errno));
}

}  // namespace

PtyPort::PtyPort(int comNumber) : m_entry(portEntry(comNumber)) {
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
