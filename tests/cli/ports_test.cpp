// darvelon-cli ports against a scratch ports folder: published ptys, stale pins, and the
// simulator's refusal to take over a COM number pinned to a device that is present.
#include <gtest/gtest.h>

#include <csignal>

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

TEST(Ports, SimulatorReplacesAStalePinButNotOneToAPresentDevice) {
    ScratchDir dir;
    const fs::path folder = dir.path() / "darvelon" / "ports";
    fs::create_directories(folder);
    fs::create_symlink("/dev/null", folder / "com8");
    const Finished refused = runCli({"simulate", "--port", "8"}, dir.path(), dir.path(), "refused");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("already pinned to /dev/null"), std::string::npos) << refused.err;
    EXPECT_EQ(fs::read_symlink(folder / "com8"), "/dev/null");

    // A simulator that was killed leaves a link to a pty that no longer exists.
    fs::create_symlink("/dev/pts/999999", folder / "com9");
    CliProcess simulate({"simulate", "--port", "9"}, dir.path(), dir.path(), "simulate");
    ASSERT_TRUE(eventually([&] {
        std::error_code error;
        return fs::read_symlink(folder / "com9", error) != "/dev/pts/999999" && !error;
    })) << simulate.standardError();
    simulate.signal(SIGINT);
    EXPECT_EQ(simulate.waitExit(), 0);
}

}  // namespace
}  // namespace darvelon::cli::testing
