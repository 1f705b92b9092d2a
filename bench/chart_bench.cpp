// Replay, decoding, view updates, memory and live redraw rate of the chart, on an hour of
// full-rate data, in one warm process. Prints a summary of the figures the chart is held to
// after the runs. What a user waits for in a fresh process, and the naive Qt Charts path, are
// measured by bench_open.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QPushButton>
#include <QValueAxis>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>

#include "decoder/frame_decoder.h"
#include "hour_log.h"
#include "one_file_dialogs.h"
#include "plot/frame_decimate.h"
#include "plot/frame_index.h"
#include "qt_benchmarks.h"
#include "ui/measurement_chart.h"
#include "ui/upr_zagig.h"

using namespace darvelon;
namespace fs = std::filesystem;

namespace {

const std::vector<std::uint8_t>& hourLog() {
    static const auto log = bench::engineLog(bench::kFramesPerHour);
    return log;
}

const fs::path& hourLogFile() {
    static const bench::HourLogFile file("hour");
    return file.path();
}

class NullTarget : public decoder::PlotTarget {
public:
    void add(int, std::int32_t x, double y, decoder::Rgb) override {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
    }
};

// The hour log in memory, as the chart reads a log file.
class HourBytes final : public plot::ByteSource {
public:
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (offset >= hourLog().size()) return 0;
        const std::size_t n = std::min(out.size(), std::size_t(hourLog().size() - offset));
        std::memcpy(out.data(), hourLog().data() + offset, n);
        return n;
    }
};

double g_replayNsPerPoint = 0;
std::map<std::int64_t, double> g_updateMs;

void BM_DecodeOnly(benchmark::State& state) {
    for (auto _ : state) {
        decoder::TFrameDecoder d;
        bool toggle = false;
        NullTarget target;
        d.feed(hourLog(), toggle, target);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * hourLog().size()));
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond);

// A replay's one pass: the hour decoded into the frame index the chart draws from.
void BM_DecodeIntoIndex(benchmark::State& state) {
    for (auto _ : state) {
        decoder::TFrameDecoder d;
        bool toggle = false;
        plot::FrameIndex index;
        index.reset(d, toggle, plot::FrameIndex::Keep::IndexOnly);
        d.feed(hourLog(), toggle, index);
        state.counters["index_bytes_per_frame"] = double(index.memoryBytes()) / double(index.frames());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * hourLog().size()));
}
BENCHMARK(BM_DecodeIntoIndex)->Unit(benchmark::kMillisecond);

// From the file name the dialog returns to the chart painted.
void BM_ReplayHourToChartDrawn(benchmark::State& state) {
    ui::TfrmUprZagig window(std::make_unique<bench::OneFileDialogs>(QString::fromStdString(hourLogFile().string())));
    window.show();
    QApplication::processEvents();
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        window.btnOpenFile->click();
        window.Chart1->viewport()->repaint();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    std::size_t points = 0;
    for (int s = 0; s < 4; ++s) points += window.Chart1->model().points(s).size();
    g_replayNsPerPoint = seconds / double(state.iterations()) / double(points) * 1e9;
    state.counters["points"] = double(points);
    state.counters["ns_per_point"] = g_replayNsPerPoint;
}
BENCHMARK(BM_ReplayHourToChartDrawn)->Unit(benchmark::kMillisecond)->Iterations(5);

// One chart showing the first `points` of the hour log, zoomed in and out around its middle.
class ZoomingChart {
public:
    explicit ZoomingChart(std::size_t points) : m_frames(points / 3) {
        m_chart.resize(761, 465);
        m_chart.show();
        decoder::TFrameDecoder d;
        bool toggle = false;
        m_chart.startFrames(d, toggle, std::make_unique<HourBytes>());
        d.feed(std::span(hourLog()).first(m_frames * 9), toggle, m_chart);
        m_chart.refreshNow();
        QApplication::processEvents();
    }
    // Decimation, hand-over and repaint of one zoom step; returns {total, repaint} seconds.
    std::pair<double, double> update() {
        const auto t0 = std::chrono::steady_clock::now();
        m_chart.zoomAround(m_in ? 0.8 : 1.25, double(m_frames) / 2);
        const auto t1 = std::chrono::steady_clock::now();
        m_chart.viewport()->repaint();
        const auto t2 = std::chrono::steady_clock::now();
        m_in = !m_in;
        return {std::chrono::duration<double>(t2 - t0).count(), std::chrono::duration<double>(t2 - t1).count()};
    }
    std::size_t points() const { return m_frames * 3; }

private:
    std::size_t m_frames;
    ui::MeasurementChart m_chart;
    bool m_in = true;
};

// One zoom step at a thousand times fewer and at the full hour of points.
void BM_ViewUpdate(benchmark::State& state) {
    ZoomingChart chart(std::size_t(state.range(0)));
    double seconds = 0;
    double paintSeconds = 0;
    for (auto _ : state) {
        const auto [total, paint] = chart.update();
        seconds += total;
        paintSeconds += paint;
    }
    state.counters["points"] = double(chart.points());
    // The part spent in the chart's own repaint, after decimation and hand-over.
    state.counters["repaint_ms"] = paintSeconds / double(state.iterations()) * 1e3;
}
BENCHMARK(BM_ViewUpdate)->Arg(4'600)->Arg(4'600'000)->Unit(benchmark::kMillisecond);

// The same update on both sizes in turn, so the ratio compares them under the same load: on a
// shared machine, two runs minutes apart differ by more than the ratio's margin.
void BM_ViewUpdateRatio(benchmark::State& state) {
    ZoomingChart small(4'600);
    ZoomingChart large(4'600'000);
    double smallSeconds = 0;
    double largeSeconds = 0;
    for (auto _ : state) {
        smallSeconds += small.update().first;
        largeSeconds += large.update().first;
    }
    g_updateMs[4'600] = smallSeconds / double(state.iterations()) * 1e3;
    g_updateMs[4'600'000] = largeSeconds / double(state.iterations()) * 1e3;
    state.counters["small_ms"] = g_updateMs[4'600];
    state.counters["large_ms"] = g_updateMs[4'600'000];
    state.counters["ratio"] = largeSeconds / smallSeconds;
}
BENCHMARK(BM_ViewUpdateRatio)->Unit(benchmark::kMillisecond);

// The decimation alone, all four series over the middle 80 % of the data, 700 columns, read
// from the index and the log bytes.
void BM_Decimate(benchmark::State& state) {
    const auto frames = std::size_t(state.range(0)) / 3;
    decoder::TFrameDecoder d;
    bool toggle = false;
    plot::FrameIndex index;
    index.reset(d, toggle, plot::FrameIndex::Keep::IndexOnly);
    d.feed(std::span(hourLog()).first(frames * 9), toggle, index);
    HourBytes bytes;
    plot::SeriesPoints out;
    std::size_t handed = 0;
    for (auto _ : state) {
        plot::decimateFrames(index, &bytes, double(frames) * 0.1, double(frames) * 0.9, 700, out);
        handed = 0;
        for (const auto& s : out) handed += s.size();
    }
    state.counters["points_handed_over"] = double(handed);
}
BENCHMARK(BM_Decimate)->Arg(4'600)->Arg(4'600'000)->Unit(benchmark::kMicrosecond);

// Points arriving as fast as they can while the event loop runs: redraws must stay <= 30/s.
void BM_LiveRedrawRate(benchmark::State& state) {
    ui::MeasurementChart chart;
    chart.resize(761, 465);
    chart.show();
    for (auto _ : state) {
        const std::uint64_t before = chart.refreshCount();
        QElapsedTimer clock;
        clock.start();
        std::int32_t x = 0;
        while (clock.elapsed() < 2000) {
            for (int k = 0; k < 50; ++k, ++x) {
                chart.add(2, x, 5000, decoder::kBlue);
                chart.add(1, x, 2000, decoder::kBlack);
                chart.add(3, x, 1000, decoder::kGreen);
            }
            QApplication::processEvents();
        }
        state.counters["redraws_per_s"] = double(chart.refreshCount() - before) / (double(clock.elapsed()) / 1000);
        state.counters["points_per_s"] = 3.0 * x / (double(clock.elapsed()) / 1000);
    }
}
BENCHMARK(BM_LiveRedrawRate)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    bench::runQtBenchmarks(argc, argv);
    if (g_updateMs.count(4'600) && g_updateMs.count(4'600'000))
        std::printf("view update: %.2f ms at 4.6 million points, %.2f ms at 4.6 thousand (ratio %.2f)\n",
                    g_updateMs[4'600'000], g_updateMs[4'600], g_updateMs[4'600'000] / g_updateMs[4'600]);
}
