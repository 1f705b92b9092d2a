#include "ui/measurement_chart.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineSeries>
#include <QValueAxis>
#include <QWheelEvent>
#include <QMouseEvent>
#include <QApplication>
#include <cmath>

#include "decoder/plot_target.h"

using namespace darvelon;
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
    EXPECT_EQ(chart.series(1)->count(), 0);
    EXPECT_EQ(chart.store(3).size(), 10u);
    EXPECT_EQ(chart.series(3)->count(), 10);
}

TEST_F(Chart, LargeDataIsHandedOverAsAnEnvelopeAndRawWhenZoomedIn) {
    fill(1'000'000);
    const int width = int(std::lround(chart.chart()->plotArea().width()));
    for (int s = 0; s < 4; ++s) EXPECT_LE(chart.series(s)->count(), 2 * width + 2) << s;
    EXPECT_EQ(chart.axisX()->min(), 0);
    EXPECT_EQ(chart.axisX()->max(), 999'999);
    chart.setXRange(500'000, 500'100);
    ASSERT_EQ(chart.series(1)->count(), 103);  // raw, with one neighbour beyond each edge
    EXPECT_EQ(chart.series(1)->at(1), QPointF(500'000, 1000));
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
    const int before = chart.series(1)->count();
    for (std::int32_t x = 10; x < 1000; ++x) chart.add(1, x, 1, decoder::kBlack);
    EXPECT_EQ(chart.series(1)->count(), before);  // nothing handed over per point
    QElapsedTimer waited;
    waited.start();
    while (chart.series(1)->count() == before && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GT(chart.series(1)->count(), before);
}

TEST_F(Chart, ReadoutShowsTheNearestFrame) {
    chart.add(2, 0, 999, decoder::kBlue);
    chart.add(1, 0, 18000, decoder::kBlack);
    chart.add(3, 0, 70, decoder::kGreen);
    chart.add(0, 1, 1000, decoder::kRed);
    chart.add(1, 1, -250, decoder::kBlack);
    chart.add(3, 1, 2550, decoder::kGreen);
    EXPECT_EQ(chart.readoutAt(0.4), "Отсчёт 0   Обороты 999 об/мин   Угол 180°   Доп. 7");
    EXPECT_EQ(chart.readoutAt(7), "Отсчёт 1   Обороты 1000 об/мин   Угол -2.5°   Доп. 255");
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
