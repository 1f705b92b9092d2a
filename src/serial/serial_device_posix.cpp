// The termios backend. A Win32 port has no line discipline, so the tty is put into a raw byte
// path as well; the stop request travels through an eventfd because closing a descriptor never
// wakes a poll on Linux.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serial/port_resolver.h"
#include "serial/serial_device.h"
#include "serial/serial_terminal.h"

namespace darvelon::serial {
namespace {

class PosixSerialDevice final : public SerialDevice {
public:
    ~PosixSerialDevice() override { close(); }

    bool open(int portNumber) override {
        const auto device = resolvePortDevice(portNumber);
        if (!device) return false;
        m_fd = ::open(device->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) return false;
        // flock keeps out other programs that ask for exclusive use (another Darvelon,
        // terminal programs); TIOCEXCL keeps out every later open by an ordinary user.
        if (!isSerialTerminal(m_fd) || ::flock(m_fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(m_fd, TIOCEXCL) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        return true;
    }

    bool setLineSettings() override {
        termios settings{};
        if (::tcgetattr(m_fd, &settings) != 0) return false;
        if (::cfsetispeed(&settings, B38400) != 0 || ::cfsetospeed(&settings, B38400) != 0) {
            return false;
        }
        settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
        settings.c_cflag |= CS8 | CREAD | CLOCAL;
        // Everything that would alter, drop or answer received bytes goes; flow control
        // (CRTSCTS, IXOFF) and the special characters stay as the device had them.
        settings.c_iflag &=
            ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON | IXANY | IMAXBEL);
        settings.c_oflag &= ~OPOST;
        settings.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
        if (::tcsetattr(m_fd, TCSANOW, &settings) != 0) return false;
        // tcsetattr reports success when any one change took effect.
        termios applied{};
        if (::tcgetattr(m_fd, &applied) != 0) return false;
        return ::cfgetispeed(&applied) == B38400 && ::cfgetospeed(&applied) == B38400 &&
               (applied.c_cflag & (CSIZE | PARENB | CSTOPB)) == CS8 &&
               (applied.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL | IXON)) == 0 &&
               (applied.c_lflag & (ICANON | ECHO | ISIG)) == 0;
    }

    bool setZeroTimeouts() override {
        // VMIN = VTIME = 0: a read returns what is queued at once, like zero Win32 time-outs.
        termios settings{};
        if (::tcgetattr(m_fd, &settings) != 0) return false;
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        if (::tcsetattr(m_fd, TCSANOW, &settings) != 0) return false;
        termios applied{};
        return ::tcgetattr(m_fd, &applied) == 0 && applied.c_cc[VMIN] == 0 && applied.c_cc[VTIME] == 0;
    }

    bool purge() override { return ::tcflush(m_fd, TCIOFLUSH) == 0; }

    bool setReceiveEventMask() override {
        if (::fcntl(m_fd, F_GETFD) < 0) return false;
        m_events = POLLIN;
        return true;
    }

    NativeHandle handle() const override { return m_fd; }

    bool createWaitEvent() override {
        m_stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        return m_stopEvent >= 0;
    }

    WaitResult waitForEvent() override {
        pollfd fds[2] = {{m_fd, m_events, 0}, {m_stopEvent, POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR) return WaitResult::Failed;
        }
        if (fds[1].revents != 0) return WaitResult::StopRequested;
        if (fds[0].revents & POLLNVAL) return WaitResult::Failed;
        if (fds[0].revents & (POLLHUP | POLLERR)) return WaitResult::DeviceGone;
        return WaitResult::Readable;
    }

    std::optional<std::size_t> queuedCount() override {
        int queued = 0;
        if (::ioctl(m_fd, FIONREAD, &queued) != 0 || queued < 0) return std::nullopt;
        return static_cast<std::size_t>(queued);
    }

    std::optional<std::size_t> read(std::span<std::uint8_t> into) override {
        for (;;) {
            const ssize_t got = ::read(m_fd, into.data(), into.size());
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) return std::nullopt;  // EIO: the device is gone
        }
    }

    void requestStop() override {
        if (m_stopEvent < 0) return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_stopEvent, &one, sizeof one);
    }

    void close() override {
        if (m_fd >= 0) {
            // The exclusive flag lives on the tty, not on this descriptor: a pseudo-terminal
            // would otherwise stay locked against ordinary users after we let go of it.
            ::ioctl(m_fd, TIOCNXCL);
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_stopEvent >= 0) {
            ::close(m_stopEvent);
            m_stopEvent = -1;
        }
    }

private:
    int m_fd = -1;
    int m_stopEvent = -1;
    short m_events = 0;
};

}  // namespace

std::unique_ptr<SerialDevice> makePlatformSerialDevice() { return std::make_unique<PosixSerialDevice>(); }

}  // namespace darvelon::serial
