// What a user waits for when opening a log, each figure from fresh processes (median of several):
// from the dialog's answer to the chart drawn, wall and CPU time, the process's private memory,
// the longest the window went without handling its events, and for the longest log the time to
// draw any 2,000 frames zoomed in. Against it, the naive path with Qt Charts alone: the same
// points handed to shown QLineSeries in one bulk replace() each.
//
//   bench_open [--runs N] [--hours 1,10,24] [--no-baseline]
//   bench_open --child shots LOG FOLDER    (the README's pictures of a long log)
// Logs of an engine at full line rate are generated once into $XDG_CACHE_HOME/darvelon-bench
// (or ~/.cache/darvelon-bench); they are never part of the tree. Run it in a Release build,
// under xvfb-run or with QT_QPA_PLATFORM=offscreen.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QPushButton>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/chart_points.h"
#include "decoder/frame_decoder.h"
#include "hour_log.h"
#include "one_file_dialogs.h"
#include "ui/measurement_chart.h"
#include "ui/upr_zagig.h"

namespace fs = std::filesystem;
using namespace darvelon;

namespace {

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Private memory of the process (resident pages no other process shares), in MB.
double privateMb() {
    std::ifstream in("/proc/self/smaps_rollup");
    double total = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string key;
        double kb = 0;
        if (fields >> key >> kb && (key == "Private_Clean:" || key == "Private_Dirty:")) total += kb;
    }
    return total / 1024;
}

fs::path cacheDir() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg) return fs::path(xdg) / "darvelon-bench";
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".cache" / "darvelon-bench";
    return fs::temp_directory_path() / "darvelon-bench";
}

fs::path engineLogFile(int hours) {
    const fs::path path = cacheDir() / ("engine-" + std::to_string(hours) + "h.dcc");
    const std::uint64_t size = std::uint64_t(hours) * bench::kFramesPerHour * 9;
    std::error_code ec;
    if (fs::file_size(path, ec) == size) return path;
    fs::create_directories(path.parent_path());
    std::fprintf(stderr, "generating %s (%.0f MB)...\n", path.c_str(), double(size) / 1e6);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    bench::EngineStream stream;
    std::vector<std::uint8_t> block(9 * 65536);
    for (std::uint64_t left = size / 9; left > 0;) {
        const std::uint64_t n = std::min<std::uint64_t>(left, 65536);
        for (std::uint64_t i = 0; i < n; ++i) stream.next(*reinterpret_cast<std::uint8_t(*)[9]>(block.data() + 9 * i));
        out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(9 * n));
        left -= n;
    }
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

// The longest gap between ticks of a fast timer: how long the window could not respond.
class StallWatch : public QObject {
public:
    StallWatch() {
        m_clock.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_timer.start(5);
    }
    // Since the watch started, including the stretch up to now.
    double longestMs() const { return double(std::max(m_longest, m_clock.nsecsElapsed() - m_last)) / 1e6; }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

void waitExposed(QWidget& w) {
    w.show();
    for (int i = 0; i < 50; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// One open in this (fresh) process: "wall cpu private stall [zoomMedian zoomMax]".
int childOpen(const fs::path& log, bool zoom) {
    ui::TfrmUprZagig window(std::make_unique<bench::OneFileDialogs>(QString::fromStdString(log.string())));
    waitExposed(window);
    StallWatch stalls;
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    window.btnOpenFile->click();
    // The chart lays out its axes for the new labels in the next turn of the event loop.
    QApplication::processEvents();
    window.Chart1->viewport()->repaint();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;
    const double stall = stalls.longestMs();
    std::printf("%.6f %.6f %.3f %.3f", wall, cpu, privateMb(), stall);
    if (zoom) {
        std::mt19937_64 random(7);
        const auto frames = double(window.Chart1->model().frames());
        std::vector<double> ms;
        for (int i = 0; i < 40; ++i) {
            const double x0 = std::floor(double(random() % std::uint64_t(frames - 2000)));
            const auto z0 = std::chrono::steady_clock::now();
            window.Chart1->setXRange(x0, x0 + 1999);
            QApplication::processEvents();
            window.Chart1->viewport()->repaint();
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - z0).count());
            if (window.Chart1->drawnPoints(decoder::kAngleSeries).size() < 100) {
                std::fprintf(stderr, "zoomed view lacks points\n");
                return 1;
            }
        }
        std::sort(ms.begin(), ms.end());
        std::printf(" %.3f %.3f", ms[ms.size() / 2], ms.back());
    }
    std::printf("\n");
    return 0;
}

// Pictures for the README: the window with a log opened whole, then zoomed to two seconds in
// its middle (about 850 frames).
int childShots(const fs::path& log, const fs::path& folder) {
    ui::TfrmUprZagig window(std::make_unique<bench::OneFileDialogs>(QString::fromStdString(log.string())));
    waitExposed(window);
    window.btnOpenFile->click();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    const auto whole = (folder / (log.stem().string() + "-whole.png")).string();
    const auto zoomed = (folder / (log.stem().string() + "-two-seconds.png")).string();
    if (!window.grab().save(QString::fromStdString(whole))) return 1;
    const double middle = double(window.Chart1->model().frames()) / 2;
    window.Chart1->setXRange(middle - 427, middle + 427);
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    if (!window.grab().save(QString::fromStdString(zoomed))) return 1;
    std::printf("%s\n%s\n", whole.c_str(), zoomed.c_str());
    return 0;
}

// The naive path: the hour's points decoded into lists and handed to four shown QLineSeries
// with one replace() each, then drawn. "wall cpu private".
int childReplace(const fs::path& log) {
    QChartView view;
    auto* chart = new QChart;
    view.setChart(chart);
    view.resize(800, 500);
    std::array<QLineSeries*, decoder::kSeriesCount> series{};
    for (auto*& s : series) {
        s = new QLineSeries;
        chart->addSeries(s);
    }
    chart->createDefaultAxes();
    waitExposed(view);
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::ifstream in(log, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    struct Lists final : decoder::PlotTarget {
        std::array<QList<QPointF>, decoder::kSeriesCount> points;
        void add(int index, std::int32_t x, double y, decoder::Rgb) override {
            points[std::size_t(index)].append(QPointF(x, y));
        }
    } lists;
    decoder::TFrameDecoder d;
    bool toggle = false;
    d.feed(bytes, toggle, lists);
    for (int s = 0; s < decoder::kSeriesCount; ++s) series[std::size_t(s)]->replace(lists.points[std::size_t(s)]);
    chart->axes(Qt::Horizontal).front()->setRange(0, double(lists.points[1].size()));
    chart->axes(Qt::Vertical).front()->setRange(0, 10000);
    view.viewport()->repaint();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.6f %.6f %.3f\n", wall, cpuSeconds() - cpu0, privateMb());
    return 0;
}

std::vector<std::vector<double>> runChildren(const char* self, const std::vector<std::string>& args, int runs) {
    std::vector<std::vector<double>> rows;
    for (int r = 0; r < runs; ++r) {
        std::string command = std::string("'") + self + "'";
        for (const auto& a : args) command += " '" + a + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        char line[512] = {};
        const bool got = pipe && std::fgets(line, sizeof line, pipe);
        const int status = pipe ? ::pclose(pipe) : -1;
        if (!got || status != 0) {
            std::fprintf(stderr, "child failed: %s\n", command.c_str());
            std::exit(1);
        }
        std::istringstream fields(line);
        std::vector<double> row;
        for (double v; fields >> v;) row.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

double median(std::vector<std::vector<double>> rows, std::size_t column) {
    std::vector<double> v;
    for (const auto& r : rows) v.push_back(r.at(column));
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double minimum(const std::vector<std::vector<double>>& rows, std::size_t column) {
    double m = rows.front().at(column);
    for (const auto& r : rows) m = std::min(m, r.at(column));
    return m;
}

double maximum(const std::vector<std::vector<double>>& rows, std::size_t column) {
    double m = rows.front().at(column);
    for (const auto& r : rows) m = std::max(m, r.at(column));
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "--child") {
        QApplication app(argc, argv);
        if (args[1] == "open") return childOpen(args[2], args.size() > 3 && args[3] == "zoom");
        if (args[1] == "replace") return childReplace(args[2]);
        if (args[1] == "shots" && args.size() > 3) return childShots(args[2], args[3]);
        return 2;
    }
    int runs = 5;
    std::vector<int> hours{1, 10, 24};
    bool baseline = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--runs" && i + 1 < args.size()) runs = std::max(1, std::atoi(args[++i].c_str()));
        else if (args[i] == "--no-baseline") baseline = false;
        else if (args[i] == "--hours" && i + 1 < args.size()) {
            hours.clear();
            std::istringstream list(args[++i]);
            for (std::string h; std::getline(list, h, ',');) hours.push_back(std::atoi(h.c_str()));
        } else {
            std::fprintf(stderr, "usage: bench_open [--runs N] [--hours 1,10,24] [--no-baseline]\n");
            return 2;
        }
    }
    std::printf("fresh process per run, %d runs each; min / median / max\n", runs);
    double oursPerPoint = 0;
    for (const int h : hours) {
        const fs::path log = engineLogFile(h);
        const bool zoom = h == hours.back();
        auto rows = runChildren(argv[0], {"--child", "open", log.string(), zoom ? "zoom" : "plain"}, runs);
        const double points = double(h) * double(bench::kFramesPerHour) * 3;
        std::printf(
            "%2d h log (%.0f MB): open to drawn %.0f / %.0f / %.0f ms wall, %.0f ms CPU (median); private memory "
            "%.0f MB; window unresponsive at most %.0f ms\n",
            h, double(fs::file_size(log)) / 1e6, minimum(rows, 0) * 1e3, median(rows, 0) * 1e3, maximum(rows, 0) * 1e3,
            median(rows, 1) * 1e3, median(rows, 2), maximum(rows, 3));
        if (zoom)
            std::printf("     any 2,000 frames zoomed in: %.2f ms median, %.2f ms at most (median of runs' worst)\n",
                        median(rows, 4), median(rows, 5));
        if (h == 1) oursPerPoint = median(rows, 0) / points;
    }
    if (baseline && std::find(hours.begin(), hours.end(), 1) != hours.end()) {
        const fs::path log = engineLogFile(1);
        const int baseRuns = std::max(1, std::min(runs, 3));
        auto rows = runChildren(argv[0], {"--child", "replace", log.string()}, baseRuns);
        const double points = double(bench::kFramesPerHour) * 3;
        std::printf(
            "naive Qt Charts, one bulk replace() per series, 1 h: %.2f s wall median (%d runs), %.2f s CPU, %.0f MB "
            "private\n",
            median(rows, 0), baseRuns, median(rows, 1), median(rows, 2));
        std::printf("per point: %.1f ns against %.1f ns: %.0fx faster\n", oursPerPoint * 1e9,
                    median(rows, 0) / points * 1e9, (median(rows, 0) / points) / oursPerPoint);
    }
    return 0;
}
