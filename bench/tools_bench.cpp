// The chart's tools on an hour of full-rate data (1.54 million frames): what one mouse move costs
// the readout and the cursor key, what a redraw costs the fitted left axis, the rolling view and
// the seconds on the axis, and what placing a cursor costs when an hour lies between A and B.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChart>
#include <QValueAxis>
#include <chrono>
#include <map>
#include <memory>
#include <random>

#include "decoder/frame_decoder.h"
#include "hour_log.h"
#include "qt_benchmarks.h"
#include "ui/chart_tools.h"
#include "ui/measurement_chart.h"
#include "ui/time_axis_labels.h"

using namespace darvelon;

namespace {

// A shown chart holding the first `frames` frames of the hour, built once per size.
ui::MeasurementChart& chartOf(std::size_t frames) {
    static std::map<std::size_t, std::unique_ptr<ui::MeasurementChart>> charts;
    auto& chart = charts[frames];
    if (!chart) {
        chart = std::make_unique<ui::MeasurementChart>();
        chart->resize(761, 465);
        chart->show();
        const auto log = bench::engineLog(frames + 1);  // the first frame only sets the reference
        decoder::TFrameDecoder d;
        bool toggle = false;
        d.feed(log, toggle, *chart);
        chart->refreshNow();
        QApplication::processEvents();
    }
    return *chart;
}

ui::MeasurementChart& hourChart() { return chartOf(bench::kFramesPerHour); }

QPointF pixelOf(ui::MeasurementChart& chart, double x) {
    const QRectF area = chart.chart()->plotArea();
    const double x0 = chart.axisX()->min();
    const double x1 = chart.axisX()->max();
    return {area.left() + (x - x0) / (x1 - x0) * area.width(), area.center().y()};
}

// The readout of one mouse move: the frame nearest the mouse and its time, on a thousandth of
// the hour and on all of it.
void BM_ReadoutPerMouseMove(benchmark::State& state) {
    auto& chart = chartOf(std::size_t(state.range(0)));
    std::mt19937 random(1);
    const double frames = double(chart.model().frames());
    for (auto _ : state) benchmark::DoNotOptimize(chart.readoutAt(double(random() % std::uint32_t(frames))));
}
BENCHMARK(BM_ReadoutPerMouseMove)
    ->Arg(bench::kFramesPerHour / 1000)
    ->Arg(bench::kFramesPerHour)
    ->Unit(benchmark::kMicrosecond);

// Key A with the mouse anywhere while B is not set: the frame and its time, nothing between.
void BM_CursorKeyAlone(benchmark::State& state) {
    auto& chart = chartOf(std::size_t(state.range(0)));
    chart.tools().dataCleared();
    std::mt19937 random(2);
    const QRectF area = chart.chart()->plotArea();
    for (auto _ : state)
        chart.tools().placeCursor(ui::ChartCursors::Cursor::A,
                                  {area.left() + double(random() % std::uint32_t(area.width())), area.center().y()});
}
BENCHMARK(BM_CursorKeyAlone)
    ->Arg(bench::kFramesPerHour / 1000)
    ->Arg(bench::kFramesPerHour)
    ->Unit(benchmark::kMicrosecond);

// Placing B with A set reads every frame between them for the angle: `range(0)` frames apart.
void BM_CursorPairOver(benchmark::State& state) {
    auto& chart = hourChart();
    chart.tools().dataCleared();
    const double between = double(state.range(0));
    const double a = double(chart.model().frames() - 1) - between;
    chart.tools().placeCursor(ui::ChartCursors::Cursor::A, pixelOf(chart, a));
    const QPointF b = pixelOf(chart, a + between);
    for (auto _ : state) chart.tools().placeCursor(ui::ChartCursors::Cursor::B, b);
    state.counters["frames_between"] = double(chart.tools().cursors().span()->frames);
}
BENCHMARK(BM_CursorPairOver)->Arg(1'000)->Arg(1'500'000)->Unit(benchmark::kMillisecond);

// The left axis fitted to the whole hour, once its summary is built: the cost of each redraw.
void BM_FitYPerRedraw(benchmark::State& state) {
    auto& chart = hourChart();
    auto& tools = chart.tools();
    tools.dataCleared();  // the summary starts over, as after a replay
    const auto t0 = std::chrono::steady_clock::now();
    tools.setFitY(true);  // summarises every frame once
    state.counters["first_fit_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const double last = double(chart.model().frames() - 1);
    std::mt19937 random(3);
    for (auto _ : state) {
        const double from = double(random() % 1000);
        benchmark::DoNotOptimize(tools.yRange(from, last - from, 0));
    }
    tools.setFitY(false);
}
BENCHMARK(BM_FitYPerRedraw)->Unit(benchmark::kMicrosecond);

// Following only the last 60 s: where they start, found at each redraw.
void BM_LastSecondsPerRedraw(benchmark::State& state) {
    auto& tools = hourChart().tools();
    tools.setFollowSeconds(60);
    for (auto _ : state) benchmark::DoNotOptimize(tools.followedRange());
    tools.setFollowSeconds(std::nullopt);
}
BENCHMARK(BM_LastSecondsPerRedraw)->Unit(benchmark::kMicrosecond);

// The seconds under the axis: one time lookup per tick at each repaint.
void BM_SecondsAxisLabelsPerRepaint(benchmark::State& state) {
    auto& chart = hourChart();
    chart.tools().setSecondsAxis(true);
    for (auto _ : state) benchmark::DoNotOptimize(chart.tools().timeLabels().labels());
    state.counters["ticks"] = double(chart.tools().timeLabels().labels().size());
    chart.tools().setSecondsAxis(false);
}
BENCHMARK(BM_SecondsAxisLabelsPerRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { bench::runQtBenchmarks(argc, argv); }
