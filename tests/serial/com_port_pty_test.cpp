// TComPort over the termios backend, with a pseudo-terminal playing the device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <numeric>
#include <thread>

#include "serial/com_port.h"
#include "serial/ports_folder.h"
#include "serial_test_support.h"

namespace darvelon::serial::testing {
namespace {

constexpr int kCom = 7;

std::unique_ptr<TComPort> openPort(int number = kCom) {
    return std::make_unique<TComPort>(static_cast<std::uint8_t>(number), ownerLoop());
}

struct Collector {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> sizes;
    std::vector<std::string> endings;

    void attach(TComPort& port) {
        port.OnRead = [this](TReadThread&, std::span<const std::uint8_t> data) {
            bytes.insert(bytes.end(), data.begin(), data.end());
            sizes.push_back(data.size());
        };
        port.OnReceptionEnded = [this](const std::string& message) { endings.push_back(message); };
    }
};

// Opens `device` in a child running as an ordinary user (root's child drops to nobody; anyone
// else already is one, and could not drop); the child's exit status is 0 when the open
// succeeded, otherwise the errno it failed with.
int errnoOfOrdinaryUserOpen(const std::filesystem::path& device) {
    const pid_t child = ::fork();
    if (child == 0) {
        // Raw system calls only: this process is a copy of a multithreaded one.
        if (::syscall(SYS_geteuid) == 0 && (::syscall(SYS_setgid, 65534) != 0 || ::syscall(SYS_setuid, 65534) != 0))
            ::_exit(255);
        const long fd = ::syscall(SYS_openat, AT_FDCWD, device.c_str(), O_RDWR | O_NOCTTY);
        ::_exit(fd >= 0 ? 0 : errno);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PtyPort, AbsentOrUnusableDevicesRaiseTheOpeningMessage) {
    try {
        TComPort port(99, ownerLoop());  // nothing pinned, and no machine has 99 serial devices
        FAIL() << "opened";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port COM99");
    }
    const auto notATty = std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "plain-file";
    std::ofstream(notATty) << "x";
    const auto entry = *portEntry(98);
    // Terminals no device stands behind: opening /dev/ptmx makes a master nobody writes to,
    // /dev/tty is whatever terminal we run in.
    for (const char* device : {notATty.c_str(), "/dev/ptmx", "/dev/pts/ptmx", "/dev/tty", "/dev/console"}) {
        std::filesystem::create_symlink(device, entry);
        try {
            TComPort port(98, ownerLoop());
            ADD_FAILURE() << "opened " << device;
        } catch (const EComPortError& e) {
            EXPECT_STREQ(e.what(), "Error opening port COM98") << device;
        }
        std::filesystem::remove(entry);
    }
}

TEST(PtyPort, OnlyOneOpenerAtATimeAndTheDeviceIsFreeAgainAfterClosing) {
    PtyPort pty(kCom);
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0666), 0);
    ASSERT_EQ(errnoOfOrdinaryUserOpen(pty.slavePath()), 0);  // the probe itself works
    {
        auto port = openPort();
        try {
            TComPort second(kCom, ownerLoop());  // as root: refused by the lock, not by TIOCEXCL
            FAIL() << "second open succeeded";
        } catch (const EComPortError& e) {
            EXPECT_STREQ(e.what(), "Error opening port COM7");
        }
        EXPECT_EQ(errnoOfOrdinaryUserOpen(pty.slavePath()), EBUSY);
    }
    EXPECT_EQ(errnoOfOrdinaryUserOpen(pty.slavePath()), 0);
    EXPECT_NO_THROW(openPort());
}

TEST(PtyPort, ChangesTheFourSettingsToARawLineAndKeepsFlowControl) {
    PtyPort pty(kCom);
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.observer(), &before), 0);
    ::cfsetspeed(&before, B9600);
    before.c_cflag |= CSTOPB | CRTSCTS;
    before.c_iflag |= IXOFF | IXON | ICRNL | ISTRIP;
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_cc[VINTR] = 0x05;
    before.c_cc[VMIN] = 4;
    before.c_cc[VTIME] = 9;
    ASSERT_EQ(::tcsetattr(pty.observer(), TCSANOW, &before), 0);

    auto port = openPort();
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.observer(), &after), 0);
    EXPECT_EQ(::cfgetispeed(&after), B38400);
    EXPECT_EQ(::cfgetospeed(&after), B38400);
    EXPECT_EQ(after.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t{CS8});
    EXPECT_EQ(after.c_cflag & (CREAD | CLOCAL), tcflag_t{CREAD | CLOCAL});
    EXPECT_EQ(after.c_iflag & (IXON | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(after.c_cc[VMIN], 0);
    EXPECT_EQ(after.c_cc[VTIME], 0);
    EXPECT_NE(after.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(after.c_iflag & IXOFF, 0u);
    EXPECT_EQ(after.c_cc[VINTR], 0x05);
}

TEST(PtyPort, DiscardsBytesQueuedBeforeOpeningAndPassesEveryByteValueUnchanged) {
    PtyPort pty(kCom);
    std::vector<std::uint8_t> stale(300, 'S');
    stale.back() = '\n';  // the slave is still canonical: only whole lines count as queued
    pty.send(stale);
    ASSERT_TRUE(spinUntil([&] { return pty.queuedOnSlave() > 0; }));

    auto port = openPort();
    Collector collector;
    collector.attach(*port);
    EXPECT_EQ(pty.queuedOnSlave(), 0);
    // Control characters, XON/XOFF, CR and bytes above 127 must all arrive as sent.
    std::vector<std::uint8_t> values(256);
    std::iota(values.begin(), values.end(), std::uint8_t{0});
    pty.send(values);
    ASSERT_TRUE(waitFor([&] { return collector.bytes.size() >= values.size(); }));
    EXPECT_EQ(collector.bytes, values);
    EXPECT_TRUE(collector.endings.empty());
}

TEST(PtyPort, FreedBeforeAnyByteDeliversNothing) {
    PtyPort pty(kCom);
    Collector collector;
    {
        auto port = openPort();
        collector.attach(*port);
    }
    pty.send(std::vector<std::uint8_t>{1, 2, 3});
    ownerLoop().runPending();
    EXPECT_TRUE(collector.sizes.empty());
    EXPECT_TRUE(collector.endings.empty());
}

TEST(PtyPort, BytesArrivingDuringADeliveryComeTogetherInTheNext) {
    PtyPort pty(kCom);
    auto port = openPort();
    Collector collector;
    collector.attach(*port);
    const std::vector<std::uint8_t> first(100, 'A'), during1(1000, 'B'), during2(1500, 'C');
    auto record = port->OnRead;
    port->OnRead = [&](TReadThread& sender, std::span<const std::uint8_t> data) {
        record(sender, data);
        if (collector.sizes.size() != 1) return;
        // Busy in the handler: the thread holds this batch, so the new bytes stay queued.
        pty.send(during1);
        pty.send(during2);
        ASSERT_TRUE(spinUntil([&] { return pty.queuedOnSlave() == 2500; }));
    };
    pty.send(first);
    ASSERT_TRUE(waitFor([&] { return collector.bytes.size() >= 2600; }));
    EXPECT_EQ(collector.sizes, (std::vector<std::size_t>{100, 2500}));
    std::vector<std::uint8_t> expected = first;
    expected.insert(expected.end(), during1.begin(), during1.end());
    expected.insert(expected.end(), during2.begin(), during2.end());
    EXPECT_EQ(collector.bytes, expected);
}

TEST(PtyPort, LosesNoByteOfALongStreamWhileTheMainThreadIsSlow) {
    PtyPort pty(kCom);
    auto port = openPort();
    Collector collector;
    collector.attach(*port);
    auto record = port->OnRead;
    std::uint64_t work = 0;
    port->OnRead = [&](TReadThread& sender, std::span<const std::uint8_t> data) {
        record(sender, data);
        for (int i = 0; i < 200'000; ++i) work += static_cast<std::uint64_t>(i) ^ work;
    };
    std::vector<std::uint8_t> stream(400'000);
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i % 251);
    std::thread device([&] {
        for (std::size_t at = 0, chunk = 1; at < stream.size(); at += chunk, chunk = chunk * 7 % 4999) {
            chunk = std::min(chunk + 1, stream.size() - at);
            pty.send(std::span(stream).subspan(at, chunk));
        }
    });
    const bool all = waitFor([&] { return collector.bytes.size() >= stream.size(); });
    device.join();
    ASSERT_TRUE(all);
    EXPECT_EQ(collector.bytes, stream);
    EXPECT_LT(collector.sizes.size(), stream.size());  // batches, not byte by byte
    EXPECT_NE(work, 1u);
}

TEST(PtyPort, HangupEndsReceptionWithTheReadMessageAndClosingStillWorks) {
    PtyPort pty(kCom);
    auto port = openPort();
    Collector collector;
    collector.attach(*port);
    pty.send(std::vector<std::uint8_t>{9});
    ASSERT_TRUE(waitFor([&] { return !collector.bytes.empty(); }));
    pty.hangUp();
    // Ended and freed itself: a thread spinning on the hung-up device would never get here.
    ASSERT_TRUE(waitFor([&] { return port->ReadThread() == nullptr; }));
    EXPECT_EQ(collector.endings, std::vector<std::string>{"Error reading port COM7"});
    EXPECT_NO_THROW(port.reset());
}

TEST(PtyPort, FreeingThePortInsideOnReadEndsDeliveriesAndKeepsTheBatchValid) {
    for (const bool inNestedLoop : {false, true}) {
        PtyPort pty(kCom);
        auto port = openPort();
        int deliveries = 0;
        std::vector<std::uint8_t> seen;
        port->OnRead = [&](TReadThread&, std::span<const std::uint8_t> data) {
            ++deliveries;
            if (inNestedLoop) {  // as a modal dialog would run it
                ownerLoop().post([&] {
                    port.reset();
                    ownerLoop().quit();
                });
                ownerLoop().runFor(kDeadline);
            } else {
                port.reset();
            }
            seen.assign(data.begin(), data.end());
            pty.send(std::vector<std::uint8_t>{4, 5, 6});
        };
        pty.send(std::vector<std::uint8_t>{1, 2, 3});
        ASSERT_TRUE(waitFor([&] { return port == nullptr; }));
        ownerLoop().runPending();
        EXPECT_EQ(deliveries, 1);
        EXPECT_EQ(seen, (std::vector<std::uint8_t>{1, 2, 3}));
    }
}

}  // namespace
}  // namespace darvelon::serial::testing
