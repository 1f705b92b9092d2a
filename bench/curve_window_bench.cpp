// The curve window over one hour of full-rate data (1.54 million frames) replayed into the main
// window: reading every frame back from the chart, binning it, rasterising the marks and
// painting, as each rebuild does. Prints the figure after the runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QChartView>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "hour_log.h"
#include "one_file_dialogs.h"
#include "qt_benchmarks.h"
#include "ui/curve_density.h"
#include "ui/curve_window.h"
#include "ui/measurement_chart.h"
#include "ui/upr_zagig.h"

using namespace darvelon;
namespace fs = std::filesystem;

namespace {

const fs::path& hourLogFile() {
    static const bench::HourLogFile file("curve-window");
    return file.path();
}

double g_rebuildMs = 0;
std::size_t g_marks = 0;

void BM_CurveWindowRebuildOfHour(benchmark::State& state) {
    const QString name = QString::fromStdString(hourLogFile().string());
    ui::TfrmUprZagig window(std::make_unique<bench::OneFileDialogs>(name));
    window.show();
    window.replayLog(name);
    emit window.Chart1->curveRequested();
    auto* curve = window.findChild<ui::CurveWindow*>();
    QApplication::processEvents();
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        curve->rebuildNow();
        curve->chartView->viewport()->repaint();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    g_rebuildMs = seconds / double(state.iterations()) * 1e3;
    g_marks = curve->density()->marks().size();
    state.counters["frames"] = double(g_marks);
    state.counters["bins"] = double(curve->bins().size());
}
BENCHMARK(BM_CurveWindowRebuildOfHour)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    bench::runQtBenchmarks(argc, argv);
    if (g_rebuildMs > 0)
        std::printf("curve window rebuild of %zu frames (read back, binned, rasterised, painted): %.1f ms\n", g_marks,
                    g_rebuildMs);
}
