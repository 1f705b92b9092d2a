// The angle-against-speed table of one hour of full-rate data, from the log's file name to the
// finished table: reading, decoding and binning, as `darvelon-cli curve` does it. Held to under
// 100 ms; prints the figure after the runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "analysis/curve_table.h"
#include "decoder/log_reader.h"
#include "hour_log.h"

using namespace darvelon;
namespace fs = std::filesystem;

namespace {

const fs::path& hourLogFile() {
    static const bench::HourLogFile file("curve");
    return file.path();
}

double g_wholeMs = 0;
double g_windowMs = 0;
std::uint64_t g_frames = 0;

// Arg 1 keeps only the frames from 900 s to 2700 s: the clock still runs over every frame.
void BM_CurveOfHourLog(benchmark::State& state) {
    const bool windowed = state.range(0) == 1;
    const std::optional<analysis::TimeWindow> window =
        windowed ? std::optional(analysis::TimeWindow{900, 2700}) : std::nullopt;
    double seconds = 0;
    std::size_t bins = 0;
    std::uint64_t frames = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        analysis::CurveTable table(analysis::kDefaultBinRpm, window);
        decoder::LogReader log(hourLogFile());
        decoder::TFrameDecoder decoder;
        bool toggle = false;
        decoder::decodeLog(log, decoder, toggle, table);
        bins = table.bins().size();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        frames = table.frames();
    }
    const double ms = seconds / double(state.iterations()) * 1e3;
    (windowed ? g_windowMs : g_wholeMs) = ms;
    if (!windowed) g_frames = frames;
    state.counters["frames"] = double(frames);
    state.counters["bins"] = double(bins);
    state.SetBytesProcessed(std::int64_t(state.iterations() * fs::file_size(hourLogFile())));
}
BENCHMARK(BM_CurveOfHourLog)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_wholeMs > 0) {
        std::printf(
            "curve table of one hour (%llu frames, %.1f MB), file name to table: %.1f ms whole, "
            "%.1f ms for 900 s to 2700 s only (target under 100 ms)\n",
            static_cast<unsigned long long>(g_frames), double(fs::file_size(hourLogFile())) / 1e6, g_wholeMs,
            g_windowMs);
    }
}
