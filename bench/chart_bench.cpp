// Replay, decoding, view updates, memory and live redraw rate of the chart, on an hour of
// full-rate data. Prints a summary of the figures the chart is held to after the runs.
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
#include <deque>
#include <filesystem>
#include <fstream>

#include "decoder/frame_decoder.h"
#include "hour_log.h"
#include "one_file_dialogs.h"
#include "plot/decimate.h"
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
    static const fs::path path = [] {
        const fs::path p = fs::temp_directory_path() / ("darvelon-bench-hour-" + std::to_string(::getpid()) + ".dcc");
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(hourLog().data()), std::streamsize(hourLog().size()));
        return p;
    }();
    return path;
}

class NullTarget : public decoder::PlotTarget {
public:
    void add(int, std::int32_t x, double y, decoder::Rgb) override {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
    }
};

class StoreTarget : public decoder::PlotTarget {
public:
    void add(int index, std::int32_t x, double y, decoder::Rgb) override { stores[std::size_t(index)].append(x, y); }
    std::array<plot::SeriesStore, 4> stores;
};

double g_replayNsPerPoint = 0;
double g_naiveNsPerPoint = 0;
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

// The first replay: every point lands in memory the process has not touched yet.
void BM_DecodeIntoStore(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        decoder::TFrameDecoder d;
        bool toggle = false;
        StoreTarget target;
        d.feed(hourLog(), toggle, target);
        state.PauseTiming();
        std::size_t points = 0;
        for (const auto& s : target.stores) {
            points += s.size();
            bytes += s.memoryBytes();
        }
        state.counters["bytes_per_point"] = double(bytes) / double(points);
        state.counters["points"] = double(points);
        bytes = 0;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * hourLog().size()));
}
BENCHMARK(BM_DecodeIntoStore)->Unit(benchmark::kMillisecond);

// Every replay after the first: the window clears its stores and keeps their memory.
void BM_DecodeIntoClearedStore(benchmark::State& state) {
    StoreTarget target;
    for (auto _ : state) {
        for (auto& s : target.stores) s.clear();
        decoder::TFrameDecoder d;
        bool toggle = false;
        d.feed(hourLog(), toggle, target);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * hourLog().size()));
}
BENCHMARK(BM_DecodeIntoClearedStore)->Unit(benchmark::kMillisecond);

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

// The naive way: every point appended to a shown QLineSeries, on a prefix of the same data.
void BM_NaiveAppendPrefix(benchmark::State& state) {
    const auto prefixFrames = std::size_t(state.range(0));
    StoreTarget decoded;
    decoder::TFrameDecoder d;
    bool toggle = false;
    d.feed(std::span(hourLog()).first(prefixFrames * 9), toggle, decoded);
    double seconds = 0;
    std::size_t points = 0;
    for (auto _ : state) {
        QChartView view;
        auto* chart = view.chart();
        std::array<QLineSeries*, 4> series{};
        for (auto& s : series) {
            s = new QLineSeries;
            chart->addSeries(s);
        }
        chart->createDefaultAxes();
        view.resize(761, 465);
        view.show();
        QApplication::processEvents();
        const auto t0 = std::chrono::steady_clock::now();
        points = 0;
        // In arrival order: frame by frame, three points each, as the decoder adds them.
        std::array<std::size_t, 4> next{};
        for (std::size_t f = 0; f + 1 < prefixFrames; ++f) {
            for (int s = 0; s < 4; ++s) {
                auto& store = decoded.stores[std::size_t(s)];
                if (next[std::size_t(s)] < store.size() && store.x(next[std::size_t(s)]) == std::int32_t(f)) {
                    series[std::size_t(s)]->append(store.x(next[std::size_t(s)]), store.y(next[std::size_t(s)]));
                    ++next[std::size_t(s)];
                    ++points;
                }
            }
        }
        view.viewport()->repaint();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    g_naiveNsPerPoint = seconds / double(state.iterations()) / double(points) * 1e9;
    state.counters["ns_per_point"] = g_naiveNsPerPoint;
}
BENCHMARK(BM_NaiveAppendPrefix)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(1);

// One chart showing the first `points` of the hour log, zoomed in and out around its middle.
class ZoomingChart {
public:
    explicit ZoomingChart(std::size_t points) : m_frames(points / 3) {
        m_chart.resize(761, 465);
        m_chart.show();
        decoder::TFrameDecoder d;
        bool toggle = false;
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

// The decimation alone, for all four series over the middle 80 % of the data, 700 columns.
void BM_Decimate(benchmark::State& state) {
    const auto frames = std::size_t(state.range(0)) / 3;
    StoreTarget decoded;
    decoder::TFrameDecoder d;
    bool toggle = false;
    d.feed(std::span(hourLog()).first(frames * 9), toggle, decoded);
    std::vector<plot::PlotPoint> out;
    std::size_t handed = 0;
    for (auto _ : state) {
        handed = 0;
        for (const auto& s : decoded.stores) {
            plot::decimate(s, double(frames) * 0.1, double(frames) * 0.9, 700, out);
            handed += out.size();
        }
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
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_replayNsPerPoint > 0 && g_naiveNsPerPoint > 0)
        std::printf("replay vs naive QLineSeries::append per point: %.0fx faster (%.1f ns vs %.0f ns)\n",
                    g_naiveNsPerPoint / g_replayNsPerPoint, g_replayNsPerPoint, g_naiveNsPerPoint);
    if (g_updateMs.count(4'600) && g_updateMs.count(4'600'000))
        std::printf("view update: %.2f ms at 4.6 million points, %.2f ms at 4.6 thousand (ratio %.2f)\n",
                    g_updateMs[4'600'000], g_updateMs[4'600], g_updateMs[4'600'000] / g_updateMs[4'600]);
    std::error_code ec;
    fs::remove(hourLogFile(), ec);
}
