#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLineSeries>
#include <QPushButton>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <span>

#include "decoder/frame_decoder.h"
#include "decoder/plot_target.h"
#include "support/frames.h"
#include "support/gui_test_support.h"
#include "support/shown_window.h"
#include "ui/measurement_chart.h"
#include "ui/upr_zagig.h"

using namespace darvelon;
using namespace darvelon::test;
namespace fs = std::filesystem;

namespace {

class BadFiles : public ShownWindow {
protected:
    void SetUp() override {
        ShownWindow::SetUp();
        dir = fs::temp_directory_path() / ("darvelon-bad-files-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        ShownWindow::TearDown();
        fs::remove_all(dir);
    }
    QString log(const fs::path& name, const Bytes& bytes) {
        writeFile(dir / name, bytes);
        return toQString(dir / name);
    }
    static QString toQString(const fs::path& p) { return QString::fromStdString(p.string()); }
    std::vector<ModalCapture> replay(const QString& answer) {
        dialogs->answers->push_back(answer);
        return captureModals([&] { window->btnOpenFile->click(); });
    }
    std::array<std::size_t, 4> counts() const {
        const auto& c = *window->Chart1;
        return {c.model().points(0).size(), c.model().points(1).size(), c.model().points(2).size(),
                c.model().points(3).size()};
    }
    // What a fresh replay of `bytes` plots, decoded without the window.
    static std::array<std::size_t, 4> directCounts(std::span<const std::uint8_t> bytes) {
        struct Counter : decoder::PlotTarget {
            std::array<std::size_t, 4> n{};
            void add(int index, std::int32_t, double, decoder::Rgb) override { ++n[std::size_t(index)]; }
        } counter;
        decoder::TFrameDecoder fresh;
        bool toggle = false;
        fresh.feed(bytes, toggle, counter);
        return counter.n;
    }
    // Something on the chart first, so a test can tell "cleared" from "left alone".
    void plotSomething() {
        ASSERT_TRUE(replay(log("good.dcc", steadyFrames(5))).empty());
        ASSERT_EQ(counts(), (std::array<std::size_t, 4>{2, 4, 2, 4}));
    }

    fs::path dir;
};

struct Degenerate {
    const char* name;
    Bytes bytes;
    const char* box;  // "" when the replay must end silently
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Degenerate& d, std::ostream* os) { *os << d.name; }

class DegenerateLog : public BadFiles, public ::testing::WithParamInterface<Degenerate> {};

}  // namespace

// Logs too short or too uniform to hold a plottable frame: the chart is cleared, nothing is
// plotted, and only a run of 0xFF long enough for two identical frames is a zero period.
TEST_P(DegenerateLog, ClearsTheChartAndPlotsNothing) {
    plotSomething();
    const auto boxes = replay(log("degenerate.dcc", GetParam().bytes));
    if (*GetParam().box) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, GetParam().box);
        EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    } else {
        EXPECT_TRUE(boxes.empty());
    }
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{}));
    // The window stays usable: the next replay plots as usual.
    EXPECT_TRUE(replay(log("after.dcc", steadyFrames(3))).empty());
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{1, 2, 1, 2}));
}

INSTANTIATE_TEST_SUITE_P(
    Contents, DegenerateLog,
    ::testing::Values(Degenerate{"Empty", {}, ""},                              //
                      Degenerate{"OneZeroByte", {0x00}, ""},                    //
                      Degenerate{"OneFFByte", {0xFF}, ""},                      //
                      Degenerate{"OneFrameOfFF", Bytes(9, 0xFF), ""},           //
                      Degenerate{"JustShortOfTwoFrames", Bytes(17, 0xFF), ""},  //
                      Degenerate{"TwoFramesOfFF", Bytes(18, 0xFF), "Floating point division by zero."},
                      Degenerate{"PageOfFF", Bytes(4096, 0xFF), "Floating point division by zero."},
                      Degenerate{"NoSyncAtAll", Bytes(4096, 0xFE), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BadFiles, HundredMegabytesOfRandomBytesPlotWhatADirectDecodeFinds) {
    // Deterministic bytes, so a failure reproduces; an FF FF pair turns up about every 64 KiB,
    // so the log holds some 1500 frames among the noise.
    Bytes bytes(100u << 20);
    std::uint64_t state = 0x243F6A8885A308D3ull;
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const std::uint64_t r = state ^ (state >> 29);
        std::memcpy(bytes.data() + i, &r, std::min<std::size_t>(8, bytes.size() - i));
    }
    const auto expected = directCounts(bytes);
    ASSERT_GT(expected[1], 100u);  // the noise does hold frames to plot
    const QString name = log("noise.dcc", bytes);
    Bytes().swap(bytes);
    EXPECT_TRUE(replay(name).empty());
    EXPECT_EQ(counts(), expected);
}

TEST_F(BadFiles, DirectoryShowsTheSystemsReasonAndTheChartStays) {
    plotSomething();
    const fs::path folder = dir / "folder.dcc";
    fs::create_directories(folder);
    const auto boxes = replay(toQString(folder));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.toStdString(), "Cannot open file \"" + folder.string() + "\". Is a directory.");
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{2, 4, 2, 4}));
}

TEST_F(BadFiles, FileWithoutReadPermissionShowsTheSystemsReasonAndTheChartStays) {
    plotSomething();
    const QString name = log("locked.dcc", steadyFrames(10));
    fs::permissions(dir / "locked.dcc", fs::perms::none);
    // Root reads anything; as root, look at the file system as an unprivileged user from this
    // (the GUI) thread only. Changing the file-system uid away from 0 drops the override
    // capabilities for that thread until it is changed back.
    const bool root = ::geteuid() == 0;
    if (root) ::setfsuid(65534);
    // access() would answer for the real uid; only an open shows what the file-system uid gets.
    const int probe = ::open((dir / "locked.dcc").c_str(), O_RDONLY);
    const bool readable = probe >= 0;
    if (readable) ::close(probe);
    std::vector<ModalCapture> boxes;
    if (!readable) boxes = replay(name);
    if (root) ::setfsuid(0);
    if (readable) GTEST_SKIP() << "cannot make a file unreadable for this process";

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open file \"" + name + "\". Permission denied.");
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{2, 4, 2, 4}));
}

TEST_F(BadFiles, FileThatShrinksWhileBeingReadKeepsThePointsReadSoFar) {
    // 3 MiB of frames; the replay reads in blocks of at most 1 MiB. When the first frame of the
    // first block reaches the chart, the file is cut to 1.5 MiB: the second read comes back
    // short and the third finds nothing where the size promised more.
    const Bytes bytes = steadyFrames((3u << 20) / 9);
    const QString name = log("shrinking.dcc", bytes);
    const std::size_t kept = (3u << 20) / 2;
    bool cut = false;
    QObject::connect(window->Chart1, &ui::MeasurementChart::refreshScheduled, window.get(), [&] {
        if (cut) return;
        cut = true;
        fs::resize_file(dir / "shrinking.dcc", kept);
    });
    const auto boxes = replay(name);
    ASSERT_TRUE(cut) << "the replay plotted nothing, so the file was never cut";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot read file \"" + name + "\". It became shorter while it was being read.");
    EXPECT_EQ(counts(), directCounts(std::span(bytes).first(kept)));
}

TEST_F(BadFiles, NonAsciiPathsReplayAndAppearIntactInMessages) {
    const fs::path folder = dir / fs::path(u8"журналы ü");
    fs::create_directories(folder);
    const QString name = toQString(folder / fs::path(u8"запись №1.dcc"));
    writeFile(folder / fs::path(u8"запись №1.dcc"), steadyFrames(7));
    EXPECT_TRUE(replay(name).empty());
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{3, 6, 3, 6}));

    // A directory fails to open; its name must come through to the message unmangled.
    const auto boxes = replay(toQString(folder));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("журналы ü"))) << boxes[0].text.toStdString();
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{3, 6, 3, 6}));
}
