// The chart's tools on a pull of known acceleration, through the menu, the keys and the mouse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QKeyEvent>
#include <QLegend>
#include <QMenu>
#include <QMouseEvent>
#include <QValueAxis>

#include "decoder/frame_decoder.h"
#include "support/engine_pull.h"
#include "ui/chart_tools.h"
#include "ui/measurement_chart.h"
#include "ui/overlay_panel.h"
#include "ui/time_axis_labels.h"

using namespace darvelon;
using ui::ChartCursors;

namespace {

class Tools : public ::testing::Test {
protected:
    void SetUp() override {
        chart.resize(761, 465);
        chart.show();
        decoder::TFrameDecoder decoder;
        bool toggle = false;
        decoder.feed(pull.bytes, toggle, chart);
        chart.refreshNow();
    }
    // Runs the context menu's entry `text` as opened at `at`.
    void menu(const QString& text, QPointF at = {}) {
        QMenu menu;
        tools().addExportActions(menu);
        tools().addMenuActions(menu, at);
        QAction* found = nullptr;
        const std::function<void(QMenu&)> search = [&](QMenu& m) {
            for (QAction* a : m.actions()) {
                if (a->text() == text) found = a;
                if (a->menu()) search(*a->menu());
            }
        };
        search(menu);
        ASSERT_TRUE(found) << text.toStdString();
        ASSERT_TRUE(found->isEnabled()) << text.toStdString();
        found->trigger();
    }
    QPointF pixelOf(double sample) const {
        const QRectF area = chart.chart()->plotArea();
        const double x0 = chart.axisX()->min();
        const double x1 = chart.axisX()->max();
        return {area.left() + (sample - x0) / (x1 - x0) * area.width(), area.center().y()};
    }
    void hover(QPointF at) {
        QMouseEvent move(QEvent::MouseMove, at, chart.mapToGlobal(at.toPoint()), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(chart.viewport(), &move);
    }
    void key(int code, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
        QApplication::sendEvent(&chart, &press);
    }
    ui::ChartTools& tools() { return chart.tools(); }

    test::EnginePull pull = [] {
        test::EnginePull p;
        p.seconds = 3;
        p.angleFrom = -30;
        p.angleTo = 30;
        return p.make();
    }();
    ui::MeasurementChart chart;
};

// Every tool switched on changes the picture, and switched off again gives back today's chart
// pixel for pixel: left axis from 0, frame numbers, four lines, no legend, no cursors.
TEST_F(Tools, EachToolSwitchedOffLeavesTheChartAsItWas) {
    EXPECT_EQ(chart.axisY()->min(), 0);
    EXPECT_FALSE(chart.chart()->legend()->isVisible());
    EXPECT_FALSE(tools().legend().isVisible());
    EXPECT_FALSE(tools().cursorPanel().isVisible());
    EXPECT_FALSE(tools().liveStatusPanel().isVisible());
    const QImage before = chart.grab().toImage();
    const double middle = double(pull.ticks.size() / 2);
    // Each entry switches on, then its last (or the same again) switches off.
    const QStringList toggles[] = {{"Ось X в секундах"},
                                   {"Ось Y по видимым точкам"},
                                   {"Легенда"},
                                   {"Обороты (красная)"},
                                   {"Обороты (синяя)"},
                                   {"Угол x100 (чёрная)"},
                                   {"Доп. x10 (зелёная)"},
                                   {"10 с", "Выкл. (вся запись)"},
                                   {"Поставить курсор A (клавиша A)", "Убрать курсоры"}};
    for (const QStringList& entries : toggles) {
        const QString& on = entries.front();
        const QString& off = entries.back();
        SCOPED_TRACE(on.toStdString());
        menu(on, pixelOf(middle));
        if (on == "10 с") tools().setFollowSeconds(1);  // the pull is shorter than any choice
        chart.refreshNow();
        EXPECT_NE(chart.grab().toImage(), before);
        menu(off, pixelOf(middle));
        chart.refreshNow();
        EXPECT_EQ(chart.grab().toImage(), before);
    }
}

// A by the key where the mouse is, B from the menu where it was opened; both stay on their
// frames through zoom and pan, and the panel reads the pull's constant acceleration.
TEST_F(Tools, CursorsStayOnTheirFramesAndMeasureTheAcceleration) {
    const auto nearest = [&](QPointF at) {
        const QRectF area = chart.chart()->plotArea();
        const double x = chart.axisX()->min() +
                         (at.x() - area.left()) / area.width() * (chart.axisX()->max() - chart.axisX()->min());
        return std::int64_t(chart.model().frameNearest(x)->sample);
    };
    const QPointF a = pixelOf(double(pull.ticks.size()) * 0.2);
    const QPointF b = pixelOf(double(pull.ticks.size()) * 0.9);
    key(Qt::Key_A, "a");  // the mouse has not been over the chart: nothing to place
    EXPECT_TRUE(tools().cursors().empty());
    hover(a);
    key(Qt::Key_A, "a");
    EXPECT_EQ(tools().cursors().sample(ChartCursors::Cursor::A), nearest(a));
    hover(b);
    key(0x424, "ф");  // the same key on a Russian layout
    EXPECT_EQ(tools().cursors().sample(ChartCursors::Cursor::A), nearest(b));
    hover(a);
    key(Qt::Key_A, "a");
    menu("Поставить курсор B (клавиша B)", b);
    const auto sa = *tools().cursors().sample(ChartCursors::Cursor::A);
    const auto sb = *tools().cursors().sample(ChartCursors::Cursor::B);
    EXPECT_EQ(sb, nearest(b));

    const auto& rows = tools().cursorPanel().rows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[1].cells[2], QString::number(sa));
    EXPECT_EQ(rows[3].cells[2], QString::number(sb - sa));
    const double dt = pull.secondsOf(std::size_t(sb)) - pull.secondsOf(std::size_t(sa));
    EXPECT_NEAR(rows[3].cells[1].toDouble(), dt, 5e-5);
    EXPECT_NEAR(rows[3].cells[3].toDouble(), pull.rpmPerSecond * dt, 4);
    const QString acceleration = rows[4].cells[0];
    ASSERT_TRUE(acceleration.startsWith("Ускорение ")) << acceleration.toStdString();
    EXPECT_NEAR(acceleration.split(' ')[1].toDouble(), pull.rpmPerSecond, 4 / dt + 0.5);

    // The line of A is drawn where the view puts its frame, through zoom and pan.
    const QColor colourA(190, 0, 190);
    for (int step = 0; step < 3; ++step) {
        if (step == 1) chart.zoomAround(0.5, double(sa));
        if (step == 2) chart.panByPixels(-40);
        SCOPED_TRACE(step);
        EXPECT_EQ(tools().cursors().sample(ChartCursors::Cursor::A), sa);
        const QImage image = chart.grab().toImage();
        const int column = int(std::floor(pixelOf(double(sa)).x()));
        const int row = int(chart.chart()->plotArea().top()) + 1;
        bool drawn = false;
        for (int y = row; y < row + 10; ++y) drawn |= image.pixelColor(column, y) == colourA;
        EXPECT_TRUE(drawn);
    }
    tools().dataCleared();
    EXPECT_TRUE(tools().cursors().empty());
    EXPECT_FALSE(tools().cursorPanel().isVisible());
}

TEST_F(Tools, LegendNamesTheShownLinesAndGoesIntoThePng) {
    tools().setLegendShown(true);
    const auto names = [&] {
        QStringList text;
        for (const auto& row : tools().legend().rows()) text << row.cells.join("") + " " + row.swatch.name();
        return text;
    };
    EXPECT_EQ(names(), QStringList({"Обороты, об/мин #ff0000", "Обороты, об/мин #0000ff", "Угол x100, ° #000000",
                                    "Доп. x10 #008000"}));
    tools().setLineShown(decoder::kAngleSeries, false);
    EXPECT_EQ(names().size(), 3);
    // The first swatch, red, in the picture saved as PNG.
    const QImage png = chart.snapshot().toImage();
    const QPoint swatch = (tools().legend().pos() + QPointF(8, tools().legend().size().height() / 6)).toPoint();
    bool red = false;
    for (int dy = -4; dy <= 4; ++dy) red |= png.pixelColor(swatch + QPoint(0, dy)) == QColor(Qt::red);
    EXPECT_TRUE(red);
}

TEST_F(Tools, LeftAxisFitsTheShownLinesOfTheViewIncludingNegativeAngles) {
    tools().setFitY(true);
    // Speed 3000..9000 rpm, angle x 100 from -3000 to 3000, aux x 10 up to 2550.
    EXPECT_LT(chart.axisY()->min(), -3000);
    EXPECT_GT(chart.axisY()->min(), -3400);
    EXPECT_GT(chart.axisY()->max(), 8990);
    EXPECT_LT(chart.axisY()->max(), 9400);
    for (const int s : {decoder::kSpeedOddSeries, decoder::kSpeedEvenSeries, decoder::kAuxSeries})
        tools().setLineShown(s, false);
    EXPECT_LT(chart.axisY()->max(), 3400);
    // The first fifth only: angles below -17 degrees.
    chart.setXRange(0, double(pull.ticks.size()) / 5);
    EXPECT_LT(chart.axisY()->max(), -1700);
    EXPECT_GT(chart.axisY()->max(), -2000);
    tools().setFitY(false);
    EXPECT_EQ(chart.axisY()->min(), 0);
}

TEST_F(Tools, SecondsAxisLabelsEachTickWithTheTimeOfItsFrame) {
    const QBrush own = chart.axisX()->labelsBrush();
    tools().setSecondsAxis(true);
    EXPECT_EQ(chart.axisX()->labelsBrush().color().alpha(), 0);  // the numbers keep their room
    chart.setXRange(100, 400);
    const auto labels = tools().timeLabels().labels();
    ASSERT_GE(labels.size(), 3u);
    for (const auto& label : labels) {
        SCOPED_TRACE(label.text.toStdString());
        EXPECT_GE(label.x, 100);
        EXPECT_LE(label.x, 400);
        EXPECT_EQ(std::fmod(label.x, chart.axisX()->tickInterval()), 0);
        ASSERT_TRUE(label.text.endsWith(" с"));
        const QString number = label.text.chopped(2);
        const int decimals = int(number.size() - number.indexOf('.') - 1);
        const auto sample = std::size_t(std::lround(label.x));
        EXPECT_NEAR(number.toDouble(), pull.secondsOf(sample), 0.5 * std::pow(10, -decimals));
    }
    tools().setSecondsAxis(false);
    EXPECT_EQ(chart.axisX()->labelsBrush(), own);
}

TEST_F(Tools, FollowingTheLastSecondsShowsOnlyThemUntilAZoomAndAfterADoubleClick) {
    const double last = double(pull.ticks.size() - 1);
    tools().setFollowSeconds(0.5);
    EXPECT_EQ(chart.axisX()->max(), last);
    const auto first = std::size_t(chart.axisX()->min());
    EXPECT_GE(pull.secondsOf(first), pull.secondsOf(std::size_t(last)) - 0.5);
    EXPECT_LT(pull.secondsOf(first - 1), pull.secondsOf(std::size_t(last)) - 0.5);
    chart.setXRange(10, 20);
    EXPECT_EQ(chart.axisX()->min(), 10);
    chart.resetView();
    EXPECT_EQ(chart.axisX()->min(), double(first));
    tools().setFollowSeconds(std::nullopt);
    EXPECT_EQ(chart.axisX()->min(), 0);
}

}  // namespace
