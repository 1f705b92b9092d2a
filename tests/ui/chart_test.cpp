#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <QWheelEvent>
#include <cmath>
#include <limits>

#include "decoder/frame_decoder.h"
#include "decoder/plot_target.h"
#include "support/frames.h"
#include "ui/measurement_chart.h"

using namespace darvelon;
using namespace darvelon::test;
using ui::MeasurementChart;

namespace {

class Chart : public ::testing::Test {
protected:
    void SetUp() override {
        chart.resize(761, 465);
        chart.show();
        chart.refreshNow();
    }
    void fill(std::int32_t frames) {
        for (std::int32_t x = 0; x < frames; ++x) {
            chart.add(x % 2 ? 0 : 2, x, 5000 + (x % 7), x % 2 ? decoder::kRed : decoder::kBlue);
            chart.add(1, x, 1000 + x % 100, decoder::kBlack);
            chart.add(3, x, 10.0 * (x % 256), decoder::kGreen);
        }
        chart.refreshNow();
    }
    MeasurementChart chart;
};

}  // namespace

TEST_F(Chart, LeftAxisRunsFromZeroToTheLargestYOfAllSeries) {
    chart.add(1, 0, -250, decoder::kBlack);
    chart.refreshNow();
    EXPECT_EQ(chart.axisY()->min(), 0);
    EXPECT_EQ(chart.axisY()->max(), 0);  // a negative point lies below the visible range
    chart.add(3, 0, 70, decoder::kGreen);
    chart.add(2, 0, 999, decoder::kBlue);
    chart.refreshNow();
    EXPECT_EQ(chart.axisY()->max(), 999);
    chart.clear(2);
    chart.refreshNow();
    EXPECT_EQ(chart.axisY()->max(), 70);
}

TEST_F(Chart, ClearEmptiesOnlyItsOwnSeries) {
    fill(10);
    chart.clear(1);
    chart.refreshNow();
    EXPECT_EQ(chart.drawnPoints(1).size(), 0u);
    EXPECT_EQ(chart.model().points(3).size(), 10u);
    EXPECT_EQ(chart.drawnPoints(3).size(), 10u);
}

TEST_F(Chart, LargeDataIsHandedOverAsAnEnvelopeAndRawWhenZoomedIn) {
    fill(1'000'000);
    const int width = int(std::lround(chart.chart()->plotArea().width()));
    for (int s = 0; s < 4; ++s) EXPECT_LE(chart.drawnPoints(s).size(), std::size_t(2 * width + 2)) << s;
    EXPECT_EQ(chart.axisX()->min(), 0);
    EXPECT_EQ(chart.axisX()->max(), 999'999);
    chart.setXRange(500'000, 500'100);
    ASSERT_EQ(chart.drawnPoints(1).size(), 103u);  // raw, with one neighbour beyond each edge
    EXPECT_EQ(chart.drawnPoints(1)[1], (plot::PlotPoint{500'000, 1000}));
}

TEST_F(Chart, ZoomPanAndResetMoveOnlyTheView) {
    fill(10'000);
    EXPECT_TRUE(chart.following());
    chart.zoomAround(0.5, 2000);
    EXPECT_FALSE(chart.following());
    EXPECT_DOUBLE_EQ(chart.axisX()->min(), 1000);
    EXPECT_DOUBLE_EQ(chart.axisX()->max(), 5999.5);
    const double perPixel = (chart.axisX()->max() - chart.axisX()->min()) / chart.chart()->plotArea().width();
    chart.panByPixels(100);  // dragging right shows earlier samples
    EXPECT_NEAR(chart.axisX()->min(), 1000 - 100 * perPixel, 1e-6);
    chart.resetView();
    EXPECT_TRUE(chart.following());
    EXPECT_EQ(chart.axisX()->max(), 9999);
}

TEST_F(Chart, FollowModeTracksNewDataUntilTheUserZooms) {
    fill(100);
    chart.add(1, 500, 1, decoder::kBlack);
    chart.refreshNow();
    EXPECT_EQ(chart.axisX()->max(), 500);
    chart.setXRange(10, 20);
    chart.add(1, 900, 1, decoder::kBlack);
    chart.refreshNow();
    EXPECT_EQ(chart.axisX()->max(), 20);
}

TEST_F(Chart, RedrawsAreCoalescedBehindTheTimer) {
    fill(10);
    const std::size_t before = chart.drawnPoints(1).size();
    for (std::int32_t x = 10; x < 1000; ++x) chart.add(1, x, 1, decoder::kBlack);
    EXPECT_EQ(chart.drawnPoints(1).size(), before);  // nothing handed over per point
    QElapsedTimer waited;
    waited.start();
    while (chart.drawnPoints(1).size() == before && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GT(chart.drawnPoints(1).size(), before);
}

// What reaches the screen: a lone spike among a million flat points shows in its column and
// colour, the flat line sits at its value, and lines stop at the edges of the plot (a dip below
// zero runs off its bottom), both as an envelope and zoomed in to raw points.
TEST_F(Chart, DrawnPixelsShowTheSpikeAndStayInsideThePlot) {
    constexpr std::int32_t kSpikeX = 600'000;
    for (std::int32_t x = 0; x < 1'000'000; ++x)
        chart.add(1, x, x == kSpikeX ? 9000 : x == kSpikeX + 2 ? -5000 : 1000, decoder::kBlack);
    // Two points far apart: zoomed in, the line between them crosses the view from edge to edge.
    chart.add(3, 0, 0, decoder::kGreen);
    chart.add(3, 1'000'000, 9000, decoder::kGreen);
    for (const bool zoomed : {false, true}) {
        SCOPED_TRACE(zoomed ? "raw" : "envelope");
        if (zoomed) chart.setXRange(kSpikeX - 20.5, kSpikeX + 20.5);
        chart.refreshNow();
        const QImage image = chart.grab().toImage();
        const QRectF area = chart.chart()->plotArea();
        const auto black = [&](int x, int y) { return image.pixelColor(x, y) == QColor(Qt::black); };
        const auto xToPixel = [&](double x) {
            return area.left() +
                   (x - chart.axisX()->min()) / (chart.axisX()->max() - chart.axisX()->min()) * area.width();
        };
        const auto yToPixel = [&](double y) { return area.bottom() - y / chart.axisY()->max() * area.height(); };

        const int spikeColumn = int(xToPixel(kSpikeX));
        bool spikeSeen = false;
        for (int x = spikeColumn - 3; x <= spikeColumn + 3; ++x) spikeSeen |= black(x, int(yToPixel(8000)));
        EXPECT_TRUE(spikeSeen);
        const int flatRow = int(std::lround(yToPixel(1000)));
        int flatColumns = 0;
        for (int x = int(area.left()) + 2; x < int(area.right()) - 1; ++x)
            flatColumns += black(x, flatRow - 1) || black(x, flatRow) || black(x, flatRow + 1);
        EXPECT_GT(flatColumns, int(area.width()) * 9 / 10);
        if (zoomed) {
            const int crossingRow = int(std::lround(yToPixel(5400)));
            int crossingColumns = 0;
            for (int x = int(area.left()) + 2; x < int(area.right()) - 1; ++x)
                for (int y = crossingRow - 1; y <= crossingRow + 1; ++y)
                    if (image.pixelColor(x, y) == QColor(0, 128, 0)) {
                        ++crossingColumns;
                        break;
                    }
            EXPECT_GT(crossingColumns, int(area.width()) * 9 / 10);
        }
        // Right of the plot there is only margin; left of it and below it, the axes' labels.
        for (int x = int(area.right()) + 2; x < image.width(); ++x)
            for (int y = int(area.top()); y < int(area.bottom()); ++y) ASSERT_FALSE(black(x, y)) << x << "," << y;
        for (int x = int(area.left()) + 2; x < int(area.right()) - 1; ++x)
            for (int y = int(area.bottom()) + 2; y < image.height(); ++y) ASSERT_FALSE(black(x, y)) << x << "," << y;
    }
}

// Values no device sends still draw, inside the plot only: neighbours at the ends of the x
// range far below the axis, seen whole, zoomed in, and zoomed into the gaps beside them, where
// the line drops out of sight at an edge or is gone altogether.
TEST_F(Chart, ExtremeValuesDrawInsideThePlot) {
    chart.add(1, std::numeric_limits<std::int32_t>::min(), -1e300, decoder::kBlack);
    for (std::int32_t x = 0; x < 10; ++x) chart.add(1, x, 1000 + 100 * x, decoder::kBlack);
    chart.add(1, std::numeric_limits<std::int32_t>::max(), -1e300, decoder::kBlack);
    enum class Edge { Anywhere, Left, Right };
    struct View {
        double from, to;
        bool lineInSight;
        Edge where;
    };
    for (const View& view :
         {View{0, 0, true, Edge::Anywhere}, View{2, 7, true, Edge::Anywhere}, View{10, 1000, true, Edge::Left},
          View{-1000, -0.5, true, Edge::Right}, View{10, 12, false, Edge::Anywhere}}) {
        const auto [from, to, lineInSight, where] = view;
        SCOPED_TRACE(from);
        if (to > from) chart.setXRange(from, to);
        chart.refreshNow();
        const QImage image = chart.grab().toImage();
        const QRectF area = chart.chart()->plotArea();
        int inside = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) != QColor(Qt::black)) continue;
                const bool inPlot =
                    x >= area.left() - 1 && x <= area.right() + 1 && y >= area.top() - 1 && y <= area.bottom() + 1;
                // Black text belongs to the axes, left of and below the plot.
                if (x > area.right() + 1 || (y < area.bottom() + 2 && x > area.left() + 1)) {
                    ASSERT_TRUE(inPlot) << x << "," << y;
                }
                inside += inPlot;
                if (inPlot && where == Edge::Left) {
                    ASSERT_LE(x, area.left() + 2) << x << "," << y;
                }
                if (inPlot && where == Edge::Right) {
                    ASSERT_GE(x, area.right() - 2) << x << "," << y;
                }
            }
        }
        EXPECT_EQ(inside > 0, lineInSight);
    }
}

TEST_F(Chart, ReadoutShowsTheNearestFrame) {
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    // A period of 36000 ticks with the phase half a turn behind, then 35964 ticks across the
    // counter's wrap with the phase 90 ticks ahead.
    const Bytes stream =
        concat({frame(16'740'000, 0, 1), frame(16'776'000, 16'740'000, 7), frame(34'748, 34'838, 255)});
    decoder.feed(stream, toggle, chart);
    EXPECT_EQ(chart.readoutAt(0.4), "Отсчёт 0   Время 0.0000 с   Обороты 999 об/мин   Угол 180°   Доп. 7");
    EXPECT_EQ(chart.readoutAt(0.5), "Отсчёт 1   Время 0.0300 с   Обороты 1001 об/мин   Угол -0.4504504505°   Доп. 255");
    EXPECT_EQ(chart.readoutAt(7), chart.readoutAt(1));
    chart.add(1, 2, 0, decoder::kBlack);  // a point that came with no frame: nothing to read
    EXPECT_EQ(chart.readoutAt(2), "");
    chart.clear(1);
    EXPECT_EQ(chart.readoutAt(0), "");
}

// The real input events, not just the functions behind them.
TEST_F(Chart, WheelZoomsAroundTheCursorDragPansDoubleClickReturnsToFollowing) {
    fill(10'000);
    const QRectF area = chart.chart()->plotArea();
    const QPointF middle = area.center();
    const double valueUnderCursor = chart.axisX()->min() + (middle.x() - area.left()) / area.width() *
                                                               (chart.axisX()->max() - chart.axisX()->min());
    QWheelEvent wheel(middle, chart.mapToGlobal(middle.toPoint()), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart.viewport(), &wheel);
    EXPECT_FALSE(chart.following());
    const double width = chart.axisX()->max() - chart.axisX()->min();
    EXPECT_NEAR(width, 9999 / 1.25, 1e-6);
    const double after = chart.axisX()->min() + (middle.x() - area.left()) / area.width() * width;
    EXPECT_NEAR(after, valueUnderCursor, 1e-6);

    const double before = chart.axisX()->min();
    const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = {}) {
        QMouseEvent e(type, at, chart.mapToGlobal(at.toPoint()), Qt::LeftButton, buttons, mods);
        QApplication::sendEvent(chart.viewport(), &e);
    };
    send(QEvent::MouseButtonPress, middle, Qt::LeftButton);
    send(QEvent::MouseMove, middle + QPointF(-50, 0), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, middle + QPointF(-50, 0), Qt::NoButton);
    EXPECT_GT(chart.axisX()->min(), before);  // dragging left shows later samples
    EXPECT_NEAR(chart.axisX()->max() - chart.axisX()->min(), width, 1e-6);

    // Shift+drag: zoom to the band.
    const double bandFrom = chart.axisX()->min() + (area.left() + 100 - area.left()) / area.width() * width;
    send(QEvent::MouseButtonPress, {area.left() + 100, middle.y()}, Qt::LeftButton, Qt::ShiftModifier);
    send(QEvent::MouseMove, {area.left() + 300, middle.y()}, Qt::LeftButton, Qt::ShiftModifier);
    send(QEvent::MouseButtonRelease, {area.left() + 300, middle.y()}, Qt::NoButton, Qt::ShiftModifier);
    EXPECT_NEAR(chart.axisX()->min(), bandFrom, 1e-6);
    EXPECT_NEAR(chart.axisX()->max() - chart.axisX()->min(), 200 / area.width() * width, 1e-6);

    send(QEvent::MouseButtonDblClick, middle, Qt::LeftButton);
    EXPECT_TRUE(chart.following());
    EXPECT_EQ(chart.axisX()->min(), 0);
    EXPECT_EQ(chart.axisX()->max(), 9999);
}

TEST_F(Chart, ReadoutGoesWithAViewChangeAndNeverIntoTheSnapshot) {
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    decoder.feed(steadyFrames(10'000), toggle, chart);
    chart.refreshNow();
    const QPointF middle = chart.chart()->plotArea().center();
    const auto hover = [&] {
        QMouseEvent e(QEvent::MouseMove, middle, chart.mapToGlobal(middle.toPoint()), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(chart.viewport(), &e);
        return chart.readoutText();
    };
    ASSERT_FALSE(hover().isEmpty());
    const QImage withReadout = chart.grab().toImage();
    const QImage snapshot = chart.snapshot().toImage();
    EXPECT_FALSE(chart.readoutText().isEmpty());  // still shown on screen
    chart.zoomAround(0.5, 100);                   // the wheel: another frame sits under the mouse
    EXPECT_TRUE(chart.readoutText().isEmpty());
    EXPECT_NE(hover(), "");
    QMouseEvent twice(QEvent::MouseButtonDblClick, middle, chart.mapToGlobal(middle.toPoint()), Qt::LeftButton,
                      Qt::LeftButton, {});
    QApplication::sendEvent(chart.viewport(), &twice);
    EXPECT_TRUE(chart.readoutText().isEmpty());
    chart.zoomAround(2.0, 100);
    chart.resetView();
    EXPECT_EQ(snapshot, chart.grab().toImage());  // the same view, no readout
    EXPECT_NE(snapshot, withReadout);
}

TEST_F(Chart, InteractionNeverMovesTheChartWidget) {
    QWidget parent;
    parent.resize(769, 513);
    chart.setParent(&parent);
    chart.setGeometry(0, 40, 761, 465);
    fill(1000);
    chart.zoomAround(0.1, 500);
    chart.panByPixels(30);
    chart.resetView();
    EXPECT_EQ(chart.geometry(), QRect(0, 40, 761, 465));
    chart.setParent(nullptr);  // the fixture owns it
}
