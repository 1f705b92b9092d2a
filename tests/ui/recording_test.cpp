// End to end: a pseudo-terminal pinned as COM7 plays the device, the window records.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "decoder/frame_decoder.h"
#include "decoder/recording_target.h"
#include "serial/com_port.h"
#include "serial/plain_owner_loop.h"
#include "serial/ports_folder.h"
#include "serial/serial_test_support.h"
#include "support/frames.h"
#include "support/gui_test_support.h"
#include "support/shown_window.h"
#include "ui/chart_tools.h"
#include "ui/measurement_chart.h"
#include "ui/overlay_panel.h"
#include "ui/upr_zagig.h"

using namespace darvelon;
using namespace darvelon::test;
using serial::testing::PtyPort;
using test::waitFor;
namespace fs = std::filesystem;

namespace {

constexpr int kCom = 7;

Bytes readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::uintmax_t sizeOf(const fs::path& p) {
    std::error_code ec;
    const auto n = fs::file_size(p, ec);
    return ec ? 0 : n;
}

class Recording : public ShownWindow {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("darvelon-rec-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir / "data");
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        fs::create_directories(*serial::portsFolder());
        pty = std::make_unique<PtyPort>(kCom);
        ShownWindow::SetUp();
        window->edtPortNumber->setText(QString::number(kCom));
        log = dir / "live.dcc";
    }
    void TearDown() override {
        window.reset();
        pty.reset();
        fs::remove_all(dir);
    }
    std::vector<ModalCapture> click(const QString& answer) {
        dialogs->answers->push_back(answer);
        return captureModals([&] { window->btnOpenPort->click(); });
    }
    std::vector<ModalCapture> stop() {
        return captureModals([&] { window->btnOpenPort->click(); });
    }
    void start() {
        ASSERT_TRUE(click(QString::fromStdString(log.string())).empty());
        ASSERT_TRUE(window->recording());
    }
    // Sends and waits until the log holds everything sent so far.
    void deliver(const Bytes& bytes) {
        pty->send(bytes);
        sent += bytes.size();
        ASSERT_TRUE(waitFor([&] { return sizeOf(log) >= sent; })) << sizeOf(log) << " of " << sent;
    }
    std::vector<ModalCapture> waitForBox() {
        return captureModals([] { waitFor([] { return QApplication::activeModalWidget() != nullptr; }); });
    }
    plot::SeriesView store(int s) const { return window->Chart1->model().points(s); }

    fs::path dir;
    fs::path log;
    std::unique_ptr<PtyPort> pty;
    std::size_t sent = 0;
};

// What a replay of the same bytes plots, for comparison.
RecordingTarget decodeAsReplay(const Bytes& bytes) {
    decoder::TFrameDecoder d;
    bool toggle = false;
    RecordingTarget target;
    d.feed(bytes, toggle, target);
    return target;
}

std::vector<PlottedPoint> chartPoints(const ui::MeasurementChart& chart) {
    std::vector<PlottedPoint> points;
    for (int s = 0; s < 4; ++s)
        for (std::size_t i = 0; i < chart.model().points(s).size(); ++i)
            points.push_back({s, chart.model().points(s).x(i), chart.model().points(s).y(i), {}});
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
    return points;
}

std::vector<PlottedPoint> sortedWithoutColour(std::vector<PlottedPoint> points) {
    for (auto& p : points) p.colour = {};
    std::sort(points.begin(), points.end(),
              [](const auto& a, const auto& b) { return std::tie(a.x, a.index) < std::tie(b.x, b.index); });
    return points;
}

}  // namespace

TEST_F(Recording, LogIsTheExactByteStreamAndThePointsMatchAReplay) {
    start();
    std::mt19937 rng(11);
    const Bytes stream = concat({{0x13, 0xFF, 0x00}, steadyFrames(300, 2500), {0xFF, 0xFF, 0x01}});
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 700, stream.size() - pos);
        deliver(Bytes(stream.begin() + long(pos), stream.begin() + long(pos + n)));
        pos += n;
    }
    EXPECT_EQ(readAll(log), stream);
    auto live = chartPoints(*window->Chart1);
    EXPECT_EQ(sortedWithoutColour(live), sortedWithoutColour(decodeAsReplay(stream).points));
    EXPECT_EQ(store(1).size(), 299u);
    stop();
    EXPECT_FALSE(window->recording());
}

// Every byte costs the log one system call, so this takes a while; the deadline only stops a
// hung run.
TEST_F(Recording, TenMegabytesAsFastAsThePtyGoesArriveWhole) {
    start();
    constexpr std::size_t kFrames = 10 * 1024 * 1024 / 9 + 1;
    const Bytes stream = steadyFrames(kFrames, 700);
    std::atomic<bool> sendFailed = false;
    std::thread device([&] {
        try {
            pty->send(stream);
        } catch (const std::exception&) {
            sendFailed = true;  // the master was hung up below
        }
    });
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (sizeOf(log) >= stream.size()) loop.quit();
    });
    QTimer::singleShot(std::chrono::minutes(10), &loop, &QEventLoop::quit);
    check.start(5);
    loop.exec();
    const bool complete = sizeOf(log) >= stream.size();
    if (!complete) pty->hangUp();
    device.join();
    ASSERT_TRUE(complete) << sizeOf(log) << " of " << stream.size();
    EXPECT_FALSE(sendFailed);
    EXPECT_TRUE(readAll(log) == stream);
    EXPECT_EQ(store(1).size(), kFrames - 1);
    EXPECT_EQ(store(0).size() + store(2).size(), kFrames - 1);
}

TEST_F(Recording, FramesSplitAcrossDeliveriesOfAnySize) {
    start();
    deliver(frame(1000, 0, 1));  // the first frame only sets the reference
    const Bytes second = frame(8200, 7000, 2);
    for (std::size_t i = 0; i + 1 < second.size(); ++i) deliver({second[i]});
    EXPECT_EQ(store(1).size(), 0u);
    deliver({second.back()});
    ASSERT_EQ(store(1).size(), 1u);
    EXPECT_EQ(store(1).x(0), 0);
    EXPECT_EQ(store(2).y(0), 36'000'000 / 7200);
    deliver(steadyFrames(1000));  // one write of 9000 bytes: stamps restart at 0
    EXPECT_EQ(store(3).size(), 1u + 1000u);
}

TEST_F(Recording, ASecondRecordingContinuesTheAlternationAndReplacesTheLog) {
    start();
    deliver(steadyFrames(2));  // one plotted frame: its speed went to Series3, next goes to Series1
    stop();
    ASSERT_FALSE(window->recording());
    EXPECT_TRUE(window->LiveToggle);
    sent = 0;
    start();
    EXPECT_EQ(store(2).size(), 0u);  // a new recording clears the chart
    const Bytes second = concat({{0x42}, steadyFrames(2)});
    deliver(second);
    EXPECT_EQ(store(0).size(), 1u);
    EXPECT_EQ(store(0).x(0), 0);
    stop();
    EXPECT_EQ(readAll(log), second);
}

TEST_F(Recording, CancelledDialogChangesNothing) {
    window->Chart1->add(1, 5, 100, decoder::kBlack);
    window->Decoder.SampleIndex = 42;
    EXPECT_TRUE(click("").empty());
    EXPECT_FALSE(window->recording());
    EXPECT_EQ(store(1).size(), 1u);
    EXPECT_EQ(window->Decoder.SampleIndex, 42);
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(Recording, ZeroPeriodInLiveDataSkipsThatFrameOnly) {
    start();
    deliver(concat({frame(1000, 0, 1), frame(2000, 0, 2), frame(2000, 0, 3), frame(3000, 0, 4)}));
    EXPECT_EQ(store(1).size(), 2u);
    EXPECT_EQ(store(3).y(1), 40);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    deliver(frame(4000, 0, 5));
    EXPECT_EQ(store(1).size(), 3u);
}

// A zero period skips its frame and the recording goes on; time runs on across the counter's
// wrap right after it. The live status reads the log and the frames on its clock, and says
// whether the view follows; a new recording drops the cursors of the last.
TEST_F(Recording, TimeRunsOnAcrossAZeroPeriodAndTheWrapAndTheStatusFollowsTheRecording) {
    const auto& status = window->Chart1->tools().liveStatusPanel();
    EXPECT_FALSE(status.isVisible());
    start();
    deliver(concat({frame(16'000'000, 15'990'000, 1), frame(16'700'000, 16'690'000, 2),
                    frame(16'700'000, 16'690'000, 3), frame(300'000, 290'000, 4), frame(900'000, 890'000, 5)}));
    const auto& model = window->Chart1->model();
    ASSERT_EQ(model.frames(), 3u);
    EXPECT_EQ(*model.secondsAt(1), (300'000 + 16'777'216 - 16'700'000) / 1.2e6);
    EXPECT_EQ(*model.secondsAt(2), (300'000 + 16'777'216 - 16'700'000 + 600'000) / 1.2e6);
    EXPECT_TRUE(window->Chart1->readoutAt(2).contains("Время 0.8143 с"));
    const auto shows = [&](const QString& line) {
        return waitFor([&] { return status.isVisible() && status.text().split('\n').contains(line); });
    };
    EXPECT_TRUE(shows("Запись\tlive.dcc"));
    EXPECT_TRUE(shows("Записано байт\t45"));
    EXPECT_TRUE(shows("Кадров\t3"));
    EXPECT_TRUE(shows("Последний кадр\t60 об/мин   3.00°   Доп. 5"));
    EXPECT_TRUE(shows("Вид: следит за всей записью"));
    window->Chart1->zoomAround(0.5, 1);
    EXPECT_TRUE(shows("Вид: масштаб задан вручную (двойной щелчок — следить)"));

    ASSERT_TRUE(
        window->Chart1->tools().placeCursor(ui::ChartCursors::Cursor::B, window->Chart1->chart()->plotArea().center()));
    stop();
    EXPECT_FALSE(status.isVisible());
    EXPECT_FALSE(window->Chart1->tools().cursors().empty());
    sent = 0;
    start();
    EXPECT_TRUE(window->Chart1->tools().cursors().empty());
    stop();
}

TEST_F(Recording, DeviceGoneShowsTheErrorAndTheNextClickCloses) {
    start();
    deliver(steadyFrames(3));
    pty->hangUp();
    const auto boxes = waitForBox();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error reading port COM7.");
    EXPECT_TRUE(window->recording());
    EXPECT_TRUE(stop().empty());
    EXPECT_FALSE(window->recording());
    EXPECT_EQ(readAll(log), steadyFrames(3));
}

TEST_F(Recording, ALogThatRefusesWritesEndsReceptionWithTheReason) {
    log = "/dev/full";
    start();
    pty->send(steadyFrames(2));
    const auto boxes = waitForBox();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot write the log file. No space left on device.");
    EXPECT_TRUE(window->recording());
    stop();
    EXPECT_FALSE(window->recording());
}

TEST_F(Recording, PortThatCannotOpenLeavesAnEmptyClosedLogAndTheWindowIdle) {
    window->edtPortNumber->setText("9");
    const auto boxes = click(QString::fromStdString(log.string()));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error opening port COM9.");
    EXPECT_FALSE(window->recording());
    ASSERT_TRUE(fs::exists(log));
    EXPECT_EQ(fs::file_size(log), 0u);
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        EXPECT_NE(fs::read_symlink(fd.path(), ec), log) << "log still open";
    }
}

TEST_F(Recording, LogThatCannotBeCreatedGivesTheNotice) {
    const auto boxes = click(QString::fromStdString((dir / "missing" / "x.dcc").string()));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Ошибка создания файла");
    EXPECT_EQ(boxes[0].objectName, "notice");
    EXPECT_FALSE(window->recording());
}

// Closing the window mid-recording, with the receive thread waiting in a hand-off.
TEST_F(Recording, DestroyingTheWindowWhileRecordingKeepsEveryDeliveredByte) {
    start();
    deliver(steadyFrames(50));
    pty->send(steadyFrames(10));  // queued or waiting in a hand-off when the window goes
    window.reset();
    const Bytes logged = readAll(log);
    ASSERT_GE(logged.size(), 450u);
    const Bytes expected = concat({steadyFrames(50), steadyFrames(10)});
    EXPECT_TRUE(std::equal(logged.begin(), logged.end(), expected.begin()));
    // The port is free again: a new owner can open it at once.
    serial::PlainOwnerLoop owner;
    EXPECT_NO_THROW((serial::TComPort{kCom, owner}));
}
