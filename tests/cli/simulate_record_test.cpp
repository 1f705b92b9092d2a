// darvelon-cli simulate and record as two processes meeting on a real pty, the way a user runs
// them: the log must be exactly what the simulated device sent.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "cli_process.h"
#include "ports_listing.h"
#include "simulator/frame_generator.h"

namespace darvelon::cli::testing {
namespace {

namespace fs = std::filesystem;
using simulator::Glitch;
using simulator::Profile;
using simulator::StreamSettings;

fs::path entryFor(const ScratchDir& dataHome, int port) {
    return dataHome.path() / "darvelon" / "ports" / ("com" + std::to_string(port));
}

bool isPrefix(const std::vector<std::uint8_t>& part, const std::vector<std::uint8_t>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

struct IdenticalCase {
    const char* name;
    Profile profile;
    double seconds;
    const char* speed;
    std::uintmax_t atLeastBytes;
};

void PrintTo(const IdenticalCase& c, std::ostream* out) { *out << c.name; }

class RecordOverPty : public ::testing::TestWithParam<IdenticalCase> {};

TEST_P(RecordOverPty, LogIsByteIdenticalToWhatTheDeviceSent) {
    const IdenticalCase c = GetParam();
    ScratchDir dir;
    const StreamSettings settings{c.profile, 11, c.seconds, {Glitch::Garbage}};
    const auto expected = simulator::generateStream(settings);
    ASSERT_GE(expected.size(), c.atLeastBytes);
    const int port = 3;

    CliProcess simulate({"simulate", "--port", std::to_string(port), "--seconds", std::to_string(c.seconds), "--speed",
                         c.speed, "--seed", "11", "--profile", std::string(nameOf(c.profile)), "--glitch", "garbage"},
                        dir.path(), dir.path(), "simulate");
    ASSERT_TRUE(eventually([&] { return fs::is_symlink(entryFor(dir, port)); })) << simulate.standardError();
    const fs::path log = dir / "engine.dcc";
    CliProcess record({"record", "--port", std::to_string(port), log.string()}, dir.path(), dir.path(), "record");

    // The device has sent everything once the log is as long as the stream; then the operator
    // stops the recording and the simulator, its listener gone, ends by itself.
    ASSERT_TRUE(eventually([&] { return sizeOr0(log) >= expected.size() || !record.running(); }))
        << record.standardError();
    record.signal(SIGINT);
    EXPECT_EQ(record.waitExit(), 0) << record.standardError();
    EXPECT_EQ(simulate.waitExit(), 0) << simulate.standardError();
    EXPECT_TRUE(readBytes(log) == expected) << "log " << sizeOr0(log) << " bytes, sent " << expected.size();
    EXPECT_FALSE(fs::exists(fs::symlink_status(entryFor(dir, port))));
    EXPECT_NE(record.standardError().find("Recorded " + std::to_string(expected.size()) + " bytes"), std::string::npos)
        << record.standardError();
}

INSTANTIATE_TEST_SUITE_P(Speeds, RecordOverPty,
                         ::testing::Values(IdenticalCase{"Realtime", Profile::Idle, 1.5, "realtime", 300},
                                           // 6000 s of racing is a little over 10 MB.
                                           IdenticalCase{"MaxTenMegabytes", Profile::Race, 6000, "max", 10'000'000}),
                         [](const auto& info) { return std::string(info.param.name); });

class StopSignal : public ::testing::TestWithParam<int> {};

TEST_P(StopSignal, EndsTheRecordingWithACompleteLog) {
    ScratchDir dir;
    const int port = 4;
    CliProcess simulate({"simulate", "--port", std::to_string(port), "--seed", "3", "--profile", "sweep"}, dir.path(),
                        dir.path(), "simulate");
    ASSERT_TRUE(eventually([&] { return fs::is_symlink(entryFor(dir, port)); })) << simulate.standardError();
    const fs::path log = dir / "stopped.dcc";
    CliProcess record({"record", "--port", std::to_string(port), log.string()}, dir.path(), dir.path(), "record");
    ASSERT_TRUE(eventually([&] { return sizeOr0(log) >= 1000 || !record.running(); })) << record.standardError();

    // While it records, the port is taken.
    const Finished ports = runCli({"ports"}, dir.path(), dir.path(), "ports");
    const auto line = portLine(ports.out, port);
    ASSERT_TRUE(line) << ports.out;
    EXPECT_EQ(line->device, fs::read_symlink(entryFor(dir, port)).string());
    EXPECT_EQ(line->state, "not available: in use by another program");

    record.signal(GetParam());
    EXPECT_EQ(record.waitExit(), 0) << record.standardError();
    const auto bytes = readBytes(log);
    // Every byte the recording took is in the log, in order: a prefix of the device's stream.
    // 20 minutes of stream is far more than the recording can have seen.
    const auto sent = simulator::generateStream({Profile::Sweep, 3, 1200.0, {}});
    EXPECT_GE(bytes.size(), 1000u);
    EXPECT_TRUE(isPrefix(bytes, sent));
    EXPECT_NE(record.standardError().find("Recorded " + std::to_string(bytes.size()) + " bytes"), std::string::npos)
        << record.standardError();

    simulate.signal(SIGINT);
    EXPECT_EQ(simulate.waitExit(), 0) << simulate.standardError();
    EXPECT_FALSE(fs::exists(fs::symlink_status(entryFor(dir, port))));
}

INSTANTIATE_TEST_SUITE_P(CtrlCAndTerm, StopSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM"); });

TEST(RecordOverPty, DeviceHangUpEndsTheRecordingWithThePortsMessageAndKeepsTheLog) {
    ScratchDir dir;
    const int port = 5;
    CliProcess simulate(
        {"simulate", "--port", "5", "--seconds", "3", "--speed", "max", "--seed", "8", "--glitch", "hangup"},
        dir.path(), dir.path(), "simulate");
    ASSERT_TRUE(eventually([&] { return fs::is_symlink(entryFor(dir, port)); })) << simulate.standardError();
    const fs::path log = dir / "hungup.dcc";
    CliProcess record({"record", "--port", "5", log.string()}, dir.path(), dir.path(), "record");
    EXPECT_EQ(record.waitExit(), 1) << record.standardError();
    EXPECT_NE(record.standardError().find("Error reading port COM5"), std::string::npos) << record.standardError();
    EXPECT_EQ(simulate.waitExit(), 0) << simulate.standardError();
    // The kernel may drop what the reader had not taken when the line hung up; what is there is
    // the stream's beginning.
    const auto sent = simulator::generateStream({Profile::Sweep, 8, 3.0, {Glitch::HangUp}});
    const auto bytes = readBytes(log);
    EXPECT_TRUE(isPrefix(bytes, sent)) << bytes.size() << " of " << sent.size();
}

TEST(RecordRefusal, AnExistingLogIsLeftAloneWithoutForce) {
    ScratchDir dir;
    const fs::path log = dir / "precious.dcc";
    std::ofstream(log) << "keep me";
    const Finished refused = runCli({"record", "--port", "9", log.string()}, dir.path(), dir.path(), "refused");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    // With --force the port comes first: no device on COM9, so the file is still untouched.
    const Finished noPort =
        runCli({"record", "--force", "--port", "9", log.string()}, dir.path(), dir.path(), "noport");
    EXPECT_EQ(noPort.status, 1);
    EXPECT_NE(noPort.err.find("Error opening port COM9"), std::string::npos) << noPort.err;
    const auto kept = readBytes(log);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
}

TEST(SimulateOutput, WritesTheGeneratorsStreamWithTheGlitchesAsked) {
    ScratchDir dir;
    const fs::path log = dir / "sim.dcc";
    const Finished done = runCli({"simulate", "--output", log.string(), "--seconds", "40", "--profile", "race",
                                  "--seed", "9", "--glitch", "garbage", "zero-period"},
                                 dir.path(), dir.path(), "simulate");
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_TRUE(readBytes(log) ==
                simulator::generateStream({Profile::Race, 9, 40.0, {Glitch::Garbage, Glitch::ZeroPeriod}}));
    // decode agrees that a zero period sits in it.
    const Finished decoded = runCli({"decode", log.string()}, dir.path(), dir.path(), "decode");
    EXPECT_EQ(decoded.status, 1);
    EXPECT_NE(decoded.err.find("Floating point division by zero"), std::string::npos);
}

TEST(SimulateOutput, RefusesUsageThatCannotEnd) {
    ScratchDir dir;
    // A log needs a length, and a port and a log at once make no sense.
    EXPECT_GE(runCli({"simulate", "--output", (dir / "x.dcc").string()}, dir.path(), dir.path(), "a").status, 100);
    EXPECT_GE(runCli({"simulate", "--output", (dir / "x.dcc").string(), "--seconds", "1", "--port", "2"}, dir.path(),
                     dir.path(), "b")
                  .status,
              100);
    EXPECT_FALSE(fs::exists(dir / "x.dcc"));
}

// Numbers as a user plainly types them; anything else is refused with a short message,
// never read some other way or clamped into range.
TEST(NumberOptions, OnlyPlainNumbersInRangeAreTaken) {
    ScratchDir dir;
    const std::string log = (dir / "x.dcc").string();
    const std::vector<std::vector<std::string>> refused = {
        {"simulate", "--output", log, "--seconds", "nan"},
        {"simulate", "--output", log, "--seconds", "inf"},
        {"simulate", "--output", log, "--seconds", "1e300"},
        {"simulate", "--output", log, "--seconds", "604801"},
        {"simulate", "--output", log, "--seconds", "0"},
        {"simulate", "--output", log, "--seconds", "1", "--seed", "18446744073709551616"},
        {"simulate", "--output", log, "--seconds", "1", "--seed", "-1"},
        {"simulate", "--output", log, "--seconds", "1", "--seed", ""},
        {"simulate", "--port", "0x3"},
        {"simulate", "--port", "+3"},
        {"simulate", "--port", " 3"},
        {"simulate", "--port", "26"},
        {"record", "--port", "03x", log},
        {"curve", log, "--bin", "0"},
        {"curve", log, "--bin", "-100"},
        {"curve", log, "--bin", "0x10"},
        {"curve", log, "--bin", "nan"},
        {"curve", log, "--from", "-1"},
        {"curve", log, "--to", "inf"},
        {"curve", log, "--to", " 5"},
        {"curve", log, "--from", "5", "--to", "1"},
    };
    for (const auto& args : refused) {
        const Finished run = runCli(args, dir.path(), dir.path(), "refused");
        EXPECT_GE(run.status, 100) << args[args.size() - 1];
        EXPECT_LT(run.err.size(), 200u) << run.err;
        EXPECT_FALSE(fs::exists(log));
    }
    const Finished taken = runCli({"simulate", "--output", log, "--seconds", "0.5", "--seed", "18446744073709551615"},
                                  dir.path(), dir.path(), "taken");
    EXPECT_EQ(taken.status, 0) << taken.err;
    EXPECT_TRUE(readBytes(log) == simulator::generateStream({Profile::Sweep, 18446744073709551615u, 0.5, {}}));
}

// A named pipe or a device as the log would block the open forever or swallow the recording.
TEST(LogTargets, AnythingButARegularFileOrANewNameIsRefusedBeforeThePortIsTouched) {
    ScratchDir dir;
    const fs::path fifo = dir / "pipe.dcc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const fs::path& target : {fifo, fs::path("/dev/null"), dir.path()}) {
        const Finished record =
            runCli({"record", "--force", "--port", "9", target.string()}, dir.path(), dir.path(), "record");
        EXPECT_EQ(record.status, 2) << target;
        EXPECT_NE(record.err.find("is not a regular file"), std::string::npos) << record.err;
        EXPECT_EQ(record.err.find("port"), std::string::npos) << record.err;
        const Finished simulate =
            runCli({"simulate", "--output", target.string(), "--seconds", "1"}, dir.path(), dir.path(), "simulate");
        EXPECT_EQ(simulate.status, 2) << target;
        EXPECT_NE(simulate.err.find("is not a regular file"), std::string::npos) << simulate.err;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
}

}  // namespace
}  // namespace darvelon::cli::testing
