#include <gtest/gtest.h>

#include <QImage>
#include <QLineSeries>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QValueAxis>
#include <filesystem>
#include <fstream>

#include "decoder/plot_target.h"
#include "support/frames.h"
#include "support/gui_test_support.h"
#include "support/shown_window.h"
#include "ui/chart_tools.h"
#include "ui/measurement_chart.h"
#include "ui/message_boxes.h"
#include "ui/upr_zagig.h"

using namespace darvelon;
using namespace darvelon::test;
namespace fs = std::filesystem;

namespace {

class Replay : public ShownWindow {
protected:
    void SetUp() override {
        ShownWindow::SetUp();
        dir = fs::temp_directory_path() / ("darvelon-replay-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        ShownWindow::TearDown();
        fs::remove_all(dir);
    }
    QString log(const std::string& name, const Bytes& bytes) {
        writeFile(dir / name, bytes);
        return QString::fromStdString((dir / name).string());
    }
    std::vector<ModalCapture> replay(const QString& answer) {
        dialogs->answers->push_back(answer);
        return captureModals([&] { window->btnOpenFile->click(); });
    }
    std::size_t points(int series) const { return window->Chart1->model().points(series).size(); }
    std::array<std::size_t, 4> counts() const { return {points(0), points(1), points(2), points(3)}; }

    fs::path dir;
};

}  // namespace

TEST_F(Replay, TwoFramesPlotOnePointInSeries3Series2AndSeries4) {
    const auto boxes = replay(log("two.dcc", concat({frame(36000, 0, 5), frame(72000, 36000, 7)})));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{0, 1, 1, 1}));
    const auto& chart = *window->Chart1;
    EXPECT_EQ(chart.model().points(2).y(0), 999);
    EXPECT_EQ(chart.model().points(1).y(0), 18000);
    EXPECT_EQ(chart.model().points(3).y(0), 70);
    EXPECT_EQ(chart.model().points(2).x(0), 0);
    // Colours: speed blue, angle black, aux green; the chart draws each series in its colour.
    EXPECT_EQ(chart.series(2)->pen().color(), QColor(0, 0, 255));
    EXPECT_EQ(chart.series(1)->pen().color(), QColor(0, 0, 0));
    EXPECT_EQ(chart.series(3)->pen().color(), QColor(0, 128, 0));
    EXPECT_EQ(chart.axisY()->max(), 18000);
    EXPECT_EQ(chart.drawnPoints(1).size(), 1u);
}

TEST_F(Replay, NFramesAlternateSpeedBetweenSeries3AndSeries1) {
    replay(log("many.dcc", concat({{0x01, 0x02, 0xFF}, steadyFrames(11), {0xFF, 0xFF, 0x00}})));
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{5, 10, 5, 10}));
    const auto& chart = *window->Chart1;
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(chart.model().points(2).x(i), std::int32_t(2 * i));
        EXPECT_EQ(chart.model().points(0).x(i), std::int32_t(2 * i + 1));
    }
    EXPECT_EQ(window->Decoder.SampleIndex, 10);
    EXPECT_EQ(chart.axisX()->min(), 0);
    EXPECT_EQ(chart.axisX()->max(), 9);
}

TEST_F(Replay, EmptyFileOrSingleFrameClearsTheChartAndPlotsNothing) {
    replay(log("many.dcc", steadyFrames(5)));
    ASSERT_EQ(points(1), 4u);
    replay(log("one.dcc", frame(100, 0, 0)));
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{}));
    replay(log("many.dcc", steadyFrames(5)));
    replay(log("empty.dcc", {}));
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{}));
    EXPECT_EQ(window->Chart1->axisY()->max(), 0);
}

TEST_F(Replay, CancelOrAMissingFileLeavesTheChartAsItWas) {
    replay(log("many.dcc", steadyFrames(5)));
    const auto before = counts();
    EXPECT_TRUE(replay("").empty());
    EXPECT_TRUE(replay(QString::fromStdString((dir / "nope.dcc").string())).empty());
    EXPECT_EQ(counts(), before);
}

TEST_F(Replay, ZeroPeriodShowsTheErrorAndKeepsThePointsSoFar) {
    const auto boxes = replay(log("zero.dcc", concat({steadyFrames(4), frame(3 * 7200, 0, 0), steadyFrames(3)})));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Floating point division by zero.");
    EXPECT_EQ(counts(), (std::array<std::size_t, 4>{1, 3, 2, 3}));
    EXPECT_EQ(window->Chart1->drawnPoints(1).size(), 3u);  // drawn, not just stored
}

TEST_F(Replay, UnreadableFileShowsTheSystemsReasonAndChangesNothing) {
    replay(log("many.dcc", steadyFrames(5)));
    const auto boxes = replay(QString::fromStdString(dir.string()));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.toStdString(), "Cannot open file \"" + dir.string() + "\". Is a directory.");
    EXPECT_EQ(points(1), 4u);
}

TEST_F(Replay, DialogUsesTheLogFilterAndRemembersTheLastChoice) {
    const QString name = log("ab.dcc", steadyFrames(3));
    replay(name);
    replay("");
    ASSERT_EQ(dialogs->asked.size(), 2u);
    EXPECT_EQ(dialogs->asked[0].filter, "Файл сбора данных работы системы *.dcc|*.dcc|");
    EXPECT_EQ(dialogs->asked[0].kind, ui::FileDialogKind::Open);
    EXPECT_EQ(dialogs->asked[1].initial, name);
}

TEST_F(Replay, ReplayingTwiceGivesTheSameChart) {
    const QString name = log("twice.dcc", steadyFrames(50, 4000));
    replay(name);
    std::vector<double> first;
    for (int s = 0; s < 4; ++s)
        for (std::size_t i = 0; i < points(s); ++i) first.push_back(window->Chart1->model().points(s).y(i));
    replay(name);
    std::vector<double> second;
    for (int s = 0; s < 4; ++s)
        for (std::size_t i = 0; i < points(s); ++i) second.push_back(window->Chart1->model().points(s).y(i));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.size(), 3u * 49);
}

TEST_F(Replay, CsvExportWritesTheShownLogsFramesAndPngSavesTheChart) {
    const QString name =
        log("export.dcc", concat({frame(36000, 0, 5), frame(72000, 36000, 7), frame(108000, 100000, 9)}));
    replay(name);
    const QString csv = QString::fromStdString((dir / "frames.csv").string());
    dialogs->answers->push_back(csv);
    EXPECT_TRUE(captureModals([&] { emit window->Chart1->exportCsvRequested(); }).empty());
    std::ifstream in(dir / "frames.csv");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "sample,period_ticks,speed_rpm,angle_deg,aux,time_s\n0,36000,999,180,7,0\n1,36000,999,40,9,0.03\n");

    const QString png = QString::fromStdString((dir / "chart.png").string());
    dialogs->answers->push_back(png);
    EXPECT_TRUE(captureModals([&] { emit window->Chart1->savePngRequested(); }).empty());
    QImage image(png);
    EXPECT_EQ(image.size(), window->Chart1->size());

    // Each export remembers its own name, so a PNG never lands on the CSV, and each asks for
    // its own extension.
    dialogs->answers->push_back({});
    emit window->Chart1->savePngRequested();
    dialogs->answers->push_back({});
    emit window->Chart1->exportCsvRequested();
    const auto& asked = dialogs->asked;
    ASSERT_GE(asked.size(), 4u);
    const auto& pngAgain = asked[asked.size() - 2];
    const auto& csvAgain = asked[asked.size() - 1];
    EXPECT_EQ(pngAgain.initial, png);
    EXPECT_EQ(pngAgain.defaultSuffix, "png");
    EXPECT_EQ(csvAgain.initial, csv);
    EXPECT_EQ(csvAgain.defaultSuffix, "csv");
}

TEST_F(Replay, CsvExportWithNothingShownSaysSo) {
    const std::function<void()> requests[] = {[&] { emit window->Chart1->exportCsvRequested(); },
                                              [&] { emit window->Chart1->tools().exportVisibleCsvRequested(); }};
    for (const auto& request : requests) {
        const auto boxes = captureModals(request);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Нет данных для экспорта");
    }
}

// The frames in view, timed from the first frame of the log, not of the view; the cursors of
// one log never stay on the next.
TEST_F(Replay, VisibleRangeCsvHoldsTheFramesInViewAndANewReplayDropsTheCursors) {
    replay(log("steady.dcc", steadyFrames(40)));
    window->Chart1->setXRange(9.5, 12);
    const QString csv = QString::fromStdString((dir / "visible.csv").string());
    dialogs->answers->push_back(csv);
    EXPECT_TRUE(captureModals([&] { emit window->Chart1->tools().exportVisibleCsvRequested(); }).empty());
    EXPECT_EQ(dialogs->asked.back().defaultSuffix, "csv");
    std::ifstream in(dir / "visible.csv");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    // 7200 ticks a frame, the phase 1000 ticks behind: 25 degrees.
    EXPECT_EQ(text,
              "sample,period_ticks,speed_rpm,angle_deg,aux,time_s\n"
              "10,7200,5000,25,11,0.06\n11,7200,5000,25,12,0.066\n12,7200,5000,25,13,0.072\n");

    const QPointF middle = window->Chart1->chart()->plotArea().center();
    ASSERT_TRUE(window->Chart1->tools().placeCursor(ui::ChartCursors::Cursor::A, middle));
    replay(log("steady.dcc", steadyFrames(40)));
    EXPECT_TRUE(window->Chart1->tools().cursors().empty());
}

TEST_F(Replay, ALogDroppedOnTheWindowOrNamedOnTheCommandLineReplaysAsTheButtonDoes) {
    const QString name = log("dropped.dcc", steadyFrames(30));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(name)});
    QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    EXPECT_TRUE(captureModals([&] { QApplication::sendEvent(window.get(), &drop); }).empty());
    EXPECT_EQ(points(1), 29u);

    // What a file manager hands over may be missing by now: unlike the dialog's silent no, the
    // operator asked for that file and hears why it cannot be shown.
    const auto boxes = captureModals([&] {
        ui::runHandler(window.get(), [&] { window->replayLog(QString::fromStdString((dir / "gone.dcc").string())); });
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains("No such file or directory")) << boxes[0].text.toStdString();
    EXPECT_EQ(points(1), 29u);  // the chart stays as it was
}

// A long open runs while the window keeps handling events; a click meanwhile only ends it, and
// the chart then holds exactly the frames of the part read so far, as the decoder left it.
TEST_F(Replay, AClickDuringALongOpenCancelsItAndKeepsThePartRead) {
    const Bytes bytes = steadyFrames((48u << 20) / 9);
    const QString name = log("long.dcc", bytes);
    bool clicked = false;
    QTimer::singleShot(1, window.get(), [&] {
        clicked = true;
        window->btnOpenPort->click();
    });
    EXPECT_TRUE(replay(name).empty());
    ASSERT_TRUE(clicked);
    EXPECT_FALSE(window->recording());
    const std::uint64_t taken = window->Decoder.BytesTaken;
    ASSERT_LT(taken, bytes.size()) << "the open finished before the click came";
    // Whole frames of 9 bytes from the start: the first one only starts the count. A click that
    // came before the first block was read leaves nothing.
    const std::uint64_t frames = taken >= 9 ? taken / 9 - 1 : 0;
    EXPECT_EQ(points(decoder::kAngleSeries), frames);
    const auto last = window->Chart1->model().frameNearest(1e12);
    EXPECT_EQ(last.has_value(), frames > 0);
    if (last) {
        EXPECT_EQ(last->endOffset, taken / 9 * 9);
    }
}
