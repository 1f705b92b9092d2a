// TComPort and TReadThread over a scripted backend: every message, what a delivery is, and how
// reception ends.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "scripted_device.h"
#include "serial/com_port.h"
#include "serial_test_support.h"
#include "thread_probe.h"

namespace darvelon::serial::testing {
namespace {

struct Recorder {
    std::vector<std::vector<std::uint8_t>> deliveries;
    std::vector<std::string> endings;

    void attach(TComPort& port) {
        port.OnRead = [this](TReadThread&, std::span<const std::uint8_t> data) {
            deliveries.emplace_back(data.begin(), data.end());
        };
        port.OnReceptionEnded = [this](const std::string& message) { endings.push_back(message); };
    }
};

std::unique_ptr<TComPort> openScripted(const std::shared_ptr<Script>& script, int number = 7) {
    return std::make_unique<TComPort>(static_cast<std::uint8_t>(number), ownerLoop(),
                                      std::make_unique<ScriptedDevice>(script));
}

std::vector<std::uint8_t> bytesOf(std::size_t count, std::uint8_t first = 0) {
    std::vector<std::uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

struct OpeningFailure {
    Step step;
    const char* message;
    bool deviceReleased;
};

class OpeningFailureTest : public ::testing::TestWithParam<OpeningFailure> {};

TEST_P(OpeningFailureTest, RaisesItsMessageAndReleasesWhatWasOpened) {
    auto script = std::make_shared<Script>();
    script->failAt = GetParam().step;
    try {
        openScripted(script);
        FAIL() << "no EComPortError";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
    EXPECT_EQ(script->closes, GetParam().deviceReleased ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, OpeningFailureTest,
                         ::testing::Values(OpeningFailure{Step::Open, "Error opening port COM7", false},
                                           OpeningFailure{Step::LineSettings, "Error setting port COM7 state", true},
                                           OpeningFailure{Step::Timeouts, "Error setting portCOM7times", true},
                                           OpeningFailure{Step::Purge, "Error purging port COM7", true},
                                           OpeningFailure{Step::EventMask, "Error setting port COM7 mask", true},
                                           OpeningFailure{Step::WaitEvent, "Error creating read event", true}));

struct ReceiveFailure {
    WakeUp wakeUp;
    const char* message;
};

class ReceiveFailureTest : public ::testing::TestWithParam<ReceiveFailure> {};

TEST_P(ReceiveFailureTest, EndsReceptionOnceWithItsMessageAndClosingStillWorks) {
    auto script = std::make_shared<Script>();
    auto port = openScripted(script);
    Recorder recorder;
    recorder.attach(*port);
    script->push(GetParam().wakeUp);
    script->push(WakeUp{.queued = 1, .bytes = {42}});                     // must never be read
    ASSERT_TRUE(waitFor([&] { return port->ReadThread() == nullptr; }));  // freed itself
    EXPECT_EQ(recorder.endings, std::vector<std::string>{GetParam().message});
    EXPECT_TRUE(recorder.deliveries.empty());
    port.reset();
    EXPECT_EQ(script->closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, ReceiveFailureTest,
    ::testing::Values(ReceiveFailure{{.result = WaitResult::Failed}, "Error waiting port COM7 event"},
                      ReceiveFailure{{.result = WaitResult::DeviceGone}, "Error reading port COM7"},
                      ReceiveFailure{{.queued = std::nullopt}, "Error clearing port COM7"},
                      ReceiveFailure{{.queued = 3, .readFails = true}, "Error reading port COM7"},
                      ReceiveFailure{{.queued = 3, .bytes = {}}, "Error reading port COM7"}));

TEST(ScriptedPort, NameHasNoLeadingZerosAndOpensThatNumber) {
    for (const int number : {1, 9, 10, 25}) {
        auto script = std::make_shared<Script>();
        EXPECT_EQ(openScripted(script, number)->PortName, "COM" + std::to_string(number));
        EXPECT_EQ(script->openedPort, number);
    }
}

TEST(ScriptedPort, EachReadIsOneWholeDeliveryAndEmptyWakeUpsReadNothing) {
    auto script = std::make_shared<Script>();
    auto port = openScripted(script);
    Recorder recorder;
    recorder.attach(*port);
    script->push(WakeUp{.queued = 0});
    script->push(WakeUp{.queued = 5, .bytes = bytesOf(5)});
    script->push(WakeUp{.queued = 0});
    script->push(WakeUp{.queued = 1000, .bytes = bytesOf(1000, 5)});
    // More than Buffer holds: the read is cut to Buffer and the rest waits for the next pass.
    script->push(WakeUp{.queued = 6'000'000, .bytes = bytesOf(TReadThread::kBufferSize + 1)});
    ASSERT_TRUE(waitFor([&] { return recorder.deliveries.size() == 3; }));
    EXPECT_EQ(script->readSizes, (std::vector<std::size_t>{5, 1000, TReadThread::kBufferSize}));
    EXPECT_EQ(recorder.deliveries[0], bytesOf(5));
    EXPECT_EQ(recorder.deliveries[1], bytesOf(1000, 5));
    EXPECT_EQ(recorder.deliveries[2], bytesOf(TReadThread::kBufferSize));
    EXPECT_TRUE(recorder.endings.empty());
}

TEST(ScriptedPort, ThrowingOnReadEndsReceptionWithItsMessageAndClosingStillWorks) {
    auto script = std::make_shared<Script>();
    auto port = openScripted(script);
    Recorder recorder;
    recorder.attach(*port);
    port->OnRead = [](TReadThread&, std::span<const std::uint8_t>) { throw std::runtime_error("Disk full"); };
    script->push(WakeUp{.queued = 2, .bytes = {1, 2}});
    script->push(WakeUp{.queued = 2, .bytes = {3, 4}});
    ASSERT_TRUE(waitFor([&] { return port->ReadThread() == nullptr; }));
    EXPECT_EQ(recorder.endings, std::vector<std::string>{"Disk full"});
    EXPECT_EQ(script->reads(), 1u);
    port.reset();
    EXPECT_EQ(script->closes, 1);
}

TEST(ScriptedPort, FreeingThePortHandsOverTheBatchWaitingInTheHandOffOnce) {
    for (int round = 0; round < 20; ++round) {
        auto script = std::make_shared<Script>();
        auto port = openScripted(script);
        Recorder recorder;
        recorder.attach(*port);
        script->push(WakeUp{.queued = 4, .bytes = {1, 2, 3, 4}});
        // No event loop runs: once read, the thread posts its batch and waits for us.
        ASSERT_TRUE(spinUntil([&] { return script->reads() == 1; }));
        // Asleep in the kernel: after its read, the only place it sleeps is the hand-off.
        ASSERT_TRUE(spinUntil([&] { return sleepingOrUntold(script->readerTid); }));
        port.reset();
        ownerLoop().runPending();
        EXPECT_EQ(recorder.deliveries, (std::vector<std::vector<std::uint8_t>>{{1, 2, 3, 4}}));
        EXPECT_TRUE(recorder.endings.empty());
        EXPECT_EQ(script->closes, 1);
    }
}

TEST(ScriptedPort, AStopAtAnyMomentDeliversExactlyTheBytesThatWereRead) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        auto script = std::make_shared<Script>();
        auto port = openScripted(script);
        std::vector<std::uint8_t> delivered;
        port->OnRead = [&](TReadThread&, std::span<const std::uint8_t> data) {
            delivered.insert(delivered.end(), data.begin(), data.end());
        };
        for (int i = 0; i < 40; ++i) {
            script->push(WakeUp{.queued = 9, .bytes = bytesOf(9, static_cast<std::uint8_t>(9 * i))});
        }
        // Stops before the first read, mid-stream with the thread anywhere in its loop, or after
        // the script ran dry; the event loop runs a random while in between.
        const auto passes = random() % 30;
        for (unsigned i = 0; i < passes; ++i) ownerLoop().runPending();
        port->Close();
        std::lock_guard lock(script->mutex);
        EXPECT_EQ(delivered, script->handedOut) << "round " << round;
        port.reset();
    }
}

TEST(ScriptedPort, ALastBatchWhoseHandlerThrowsIsReportedByCloseAndTheDeviceIsReleased) {
    auto script = std::make_shared<Script>();
    auto port = openScripted(script);
    port->OnRead = [](TReadThread&, std::span<const std::uint8_t>) { throw std::runtime_error("Disk full"); };
    script->push(WakeUp{.queued = 2, .bytes = {1, 2}});
    ASSERT_TRUE(spinUntil([&] { return script->reads() == 1; }));
    EXPECT_THROW(
        try { port->Close(); } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Disk full");
            throw;
        },
        std::runtime_error);
    EXPECT_EQ(script->closes, 1);
    EXPECT_NO_THROW(port->Close());
    EXPECT_EQ(script->closes, 1);
}

TEST(ScriptedPort, NoticeOfAnEndedReceptionIsDroppedWhenThePortIsFreedFirst) {
    auto script = std::make_shared<Script>();
    auto port = openScripted(script);
    Recorder recorder;
    recorder.attach(*port);
    script->push(WakeUp{.result = WaitResult::DeviceGone});
    ASSERT_TRUE(spinUntil([&] { return port->ReadThread()->finished(); }));
    port.reset();
    ownerLoop().runPending();
    EXPECT_TRUE(recorder.endings.empty());
}

}  // namespace
}  // namespace darvelon::serial::testing
