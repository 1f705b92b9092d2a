// darvelon-cli ports against a scratch ports folder: published ptys, stale pins, and the
// simulator's refusal to take over a COM number pinned to a device that is present.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "cli_process.h"
#include "ports_listing.h"

namespace darvelon::cli::testing {
namespace {

namespace fs = std::filesystem;

TEST(Ports, ListsAPublishedPtyAsReadyAndForgetsItWhenTheSimulatorEnds) {
    ScratchDir dir;
    const fs::path entry = dir.path() / "darvelon" / "ports" / "com6";
    CliProcess simulate({"simulate", "--port", "6"}, dir.path(), dir.path(), "simulate");
    ASSERT_TRUE(eventually([&] { return fs::is_symlink(entry); })) << simulate.standardError();

    const Finished listed = runCli({"ports"}, dir.path(), dir.path(), "ports");
    EXPECT_EQ(listed.status, 0);
    const std::string pts = fs::read_symlink(entry).string();
    const auto line = portLine(listed.out, 6);
    ASSERT_TRUE(line) << listed.out;
    EXPECT_EQ(line->device, pts);
    EXPECT_EQ(line->source, "pinned");
    EXPECT_EQ(line->state, "ready");
    // All 25 numbers the window offers, one line each.
    for (int n = 1; n <= 25; ++n) EXPECT_TRUE(portLine(listed.out, n)) << n;

    simulate.signal(SIGTERM);
    EXPECT_EQ(simulate.waitExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(entry)));
    const Finished after = runCli({"ports"}, dir.path(), dir.path(), "after");
    ASSERT_TRUE(portLine(after.out, 6)) << after.out;
    EXPECT_NE(portLine(after.out, 6)->device, pts);
}

TEST(Ports, SaysWhenAPinnedDeviceIsAbsent) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "darvelon" / "ports");
    fs::create_symlink("/dev/darvelon-unplugged", dir.path() / "darvelon" / "ports" / "com7");
    const Finished listed = runCli({"ports"}, dir.path(), dir.path(), "ports");
    const auto line = portLine(listed.out, 7);
    ASSERT_TRUE(line) << listed.out;
    EXPECT_EQ(line->device, "-");
    EXPECT_EQ(line->source, "pinned");
    EXPECT_EQ(line->state, "not available: the pinned device is absent");
}

TEST(Ports, SimulatorRefusesEveryEntryMadeByHandAndLeavesItThere) {
    ScratchDir dir;
    const fs::path folder = dir.path() / "darvelon" / "ports";
    fs::create_directories(folder);
    fs::create_symlink("/dev/null", folder / "com8");
    fs::create_symlink("/dev/serial/by-id/darvelon-unplugged", folder / "com7");
    std::ofstream(folder / "com6") << "/dev/darvelon-unplugged\n";
    for (const int port : {8, 7, 6}) {
        const Finished refused =
            runCli({"simulate", "--port", std::to_string(port)}, dir.path(), dir.path(), "refused");
        EXPECT_EQ(refused.status, 1) << port;
        EXPECT_NE(refused.err.find(port == 8 ? "already pinned to /dev/null" : "to a device that is absent"),
                  std::string::npos)
            << refused.err;
    }
    EXPECT_EQ(fs::read_symlink(folder / "com8"), "/dev/null");
    EXPECT_EQ(fs::read_symlink(folder / "com7"), "/dev/serial/by-id/darvelon-unplugged");
    EXPECT_TRUE(fs::is_regular_file(folder / "com6"));
}

TEST(Ports, AKilledSimulatorsEntryIsNeverOpenedAndTheNextSimulatorTakesItOver) {
    ScratchDir dir;
    const fs::path entry = dir.path() / "darvelon" / "ports" / "com9";
    {
        CliProcess killed({"simulate", "--port", "9"}, dir.path(), dir.path(), "killed");
        ASSERT_TRUE(eventually([&] { return fs::is_symlink(entry); })) << killed.standardError();
        killed.signal(SIGKILL);
        EXPECT_EQ(killed.waitExit(), 128 + SIGKILL);
    }
    ASSERT_TRUE(fs::is_symlink(entry));  // its terminal's number is free for anyone's next terminal
    const Finished listed = runCli({"ports"}, dir.path(), dir.path(), "ports");
    ASSERT_TRUE(portLine(listed.out, 9)) << listed.out;
    EXPECT_EQ(portLine(listed.out, 9)->device, "-");
    EXPECT_NE(portLine(listed.out, 9)->state.find("left by a simulator that has ended"), std::string::npos);
    const Finished record =
        runCli({"record", "--port", "9", (dir / "stale.dcc").string()}, dir.path(), dir.path(), "record");
    EXPECT_EQ(record.status, 1);
    EXPECT_NE(record.err.find("Error opening port COM9"), std::string::npos) << record.err;

    CliProcess next({"simulate", "--port", "9"}, dir.path(), dir.path(), "next");
    ASSERT_TRUE(eventually([&] {
        const auto line = portLine(runCli({"ports"}, dir.path(), dir.path(), "again").out, 9);
        return line && line->state == "ready";
    })) << next.standardError();
    const Finished second = runCli({"simulate", "--port", "9"}, dir.path(), dir.path(), "second");
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("published by another simulator"), std::string::npos) << second.err;
    next.signal(SIGTERM);
    EXPECT_EQ(next.waitExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(entry)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(entry) += ".lock")));
}

TEST(Ports, SuggestsAGroupOnlyWhenJoiningItWouldGrantReadAndWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to make device nodes and run as another user";
    constexpr unsigned kNobody = 65534;
    ScratchDir dir;
    ASSERT_EQ(::chown(dir.path().c_str(), kNobody, kNobody), 0);
    const fs::path folder = dir.path() / "darvelon" / "ports";
    fs::create_directories(folder);
    struct Node {
        int port;
        mode_t mode;
        const char* group;
        const char* hint;
    };
    const Node nodes[] = {{3, 0660, "dialout", "add yourself to the dialout group"},
                          {4, 0620, "tty", "owned by root with mode 0620, so no group grants read and write"},
                          {5, 0600, "root", "owned by root with mode 0600, so no group grants read and write"}};
    for (const Node& node : nodes) {
        const fs::path device = dir / ("node" + std::to_string(node.port));
        ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | node.mode, ::makedev(1, 3)), 0);
        const group* g = ::getgrnam(node.group);
        ASSERT_TRUE(g) << node.group;
        ASSERT_EQ(::chown(device.c_str(), 0, g->gr_gid), 0);
        ASSERT_EQ(::chmod(device.c_str(), node.mode), 0);
        fs::create_symlink(device, folder / ("com" + std::to_string(node.port)));
    }
    CliProcess ports({"ports"}, dir.path(), dir.path(), "ports", kNobody);
    ASSERT_EQ(ports.waitExit(), 0) << ports.standardError();
    for (const Node& node : nodes) {
        const auto line = portLine(ports.standardOutput(), node.port);
        ASSERT_TRUE(line) << ports.standardOutput();
        EXPECT_TRUE(line->state.starts_with(std::string("not available: no permission; ") + node.hint)) << line->state;
    }
}

// A recorder killed with the port open leaves the terminal flagged for exclusive use, which
// would keep every ordinary user out until the simulator ends.
int exclusiveFlag(const fs::path& slave) {
    const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int flag = -1;
    if (fd >= 0) ::ioctl(fd, TIOCGEXCL, &flag);
    if (fd >= 0) ::close(fd);
    return flag;
}

class KilledListener : public ::testing::TestWithParam<bool> {};

TEST_P(KilledListener, LeavesThePortOpenableForTheNextOne) {
    const bool asOrdinaryUser = GetParam();
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to set the flag as a killed recorder would leave it";
    constexpr unsigned kNobody = 65534;
    ScratchDir dir;
    if (asOrdinaryUser) {
        ASSERT_EQ(::chown(dir.path().c_str(), kNobody, kNobody), 0);
    }
    const fs::path entry = dir.path() / "darvelon" / "ports" / "com5";
    CliProcess simulate({"simulate", "--port", "5", "--speed", "max"}, dir.path(), dir.path(), "simulate",
                        asOrdinaryUser ? std::optional(kNobody) : std::nullopt);
    ASSERT_TRUE(eventually([&] { return fs::is_symlink(entry); })) << simulate.standardError();
    const fs::path slave = fs::read_symlink(entry);
    {
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
        ::tcflush(fd, TCIOFLUSH);  // the simulator starts sending, then sees its listener vanish
        ASSERT_TRUE(eventually([&] { return simulate.standardError().find("sending") != std::string::npos; }));
        ::close(fd);
    }
    // Root clears the flag on the same terminal; an ordinary user cannot and publishes a new one.
    ASSERT_TRUE(eventually([&] {
        std::error_code error;
        const fs::path now = fs::read_symlink(entry, error);
        return !error && exclusiveFlag(now) == 0 && (asOrdinaryUser ? now != slave : now == slave);
    })) << simulate.standardError();
    simulate.signal(SIGTERM);
    EXPECT_EQ(simulate.waitExit(), 0);
}

INSTANTIATE_TEST_SUITE_P(AsRootAndAsAnOrdinaryUser, KilledListener, ::testing::Bool());

}  // namespace
}  // namespace darvelon::cli::testing
