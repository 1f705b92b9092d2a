// The window recording a device on a pty pinned as COM9, measured: CPU time of the program
// (less the thread that plays the device) as a share of one core, bytes moved and lost, peak
// memory against what the chart's store holds, memory growth.
//
//   bench_recording_cpu [seconds=30] [--max | --chunk-ms N]
// Without --max the device sends at the line's full pace: 3840 bytes a second, a 9-byte frame
// every 2.34 ms, each frame a wake-up of the receive thread (a UART that interrupts per frame,
// the worst case). --chunk-ms N keeps the pace but hands over what N ms bring at once, as a USB
// adapter does (16 ms is a common latency timer). With --max it sends as fast as the program
// takes the bytes (a soak). The window is a real one when QT_QPA_PLATFORM says so (xcb under
// xvfb-run); otherwise it is drawn offscreen.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "hour_log.h"
#include "one_file_dialogs.h"
#include "serial/ports_folder.h"
#include "ui/measurement_chart.h"
#include "ui/upr_zagig.h"

namespace fs = std::filesystem;
using namespace darvelon;

namespace {

double seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Compares the log with the stream the device sent: missing, extra or changed bytes.
std::uint64_t differingBytes(const fs::path& log, std::uint64_t sent) {
    std::ifstream in(log, std::ios::binary);
    bench::EngineStream expected;
    std::uint64_t differing = 0;
    std::uint64_t pos = 0;
    std::uint8_t f[9];
    char got[9];
    while (pos < sent) {
        expected.next(f);
        in.read(got, 9);
        const auto n = std::uint64_t(in.gcount());
        for (std::uint64_t k = 0; k < 9 && pos + k < sent; ++k) differing += k >= n || std::uint8_t(got[k]) != f[k];
        pos += 9;
    }
    in.peek();
    return differing + (in.eof() ? 0 : 1);
}

// CPU seconds of each of this process's threads, by thread id.
std::map<std::string, double> threadCpu() {
    std::map<std::string, double> out;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int k = 3; k <= 15 && rest >> field; ++k)
            if (k >= 14) ticks += std::stod(field);
        out[task.path().filename().string()] = ticks / double(::sysconf(_SC_CLK_TCK));
    }
    return out;
}

// Where the time went, thread by thread since `before` (the device thread among them).
std::string threadTimes(const std::map<std::string, double>& before) {
    std::string text;
    for (const auto& [tid, s] : threadCpu()) {
        const auto b = before.find(tid);
        const double ms = 1000 * (s - (b == before.end() ? 0 : b->second));
        if (ms > 0) text += " " + tid + " " + std::to_string(int(ms)) + " ms;";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int runSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const bool flatOut = argc > 2 && std::string(argv[2]) == "--max";
    const int chunkMs = argc > 3 && std::string(argv[2]) == "--chunk-ms" ? std::max(1, std::atoi(argv[3])) : 0;
    char pattern[] = "/tmp/darvelon-cpu-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    fs::create_directories(*serial::portsFolder());
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return 1;
    fs::create_symlink(::ptsname(master), *serial::portEntry(9));

    const fs::path log = dir / "cpu.dcc";
    ui::TfrmUprZagig window(std::make_unique<bench::OneFileDialogs>(QString::fromStdString(log.string())));
    window.show();
    window.edtPortNumber->setText("9");
    window.btnOpenPort->click();
    if (!window.recording()) return 1;

    std::atomic<bool> stop = false;
    std::atomic<double> feederCpu = 0;
    std::atomic<std::uint64_t> sent = 0;
    std::atomic<bool> deviceDone = false;
    std::thread device([&] {
        const auto interval = chunkMs ? std::chrono::nanoseconds(chunkMs * 1'000'000LL)
                                      : std::chrono::nanoseconds(1'000'000'000LL * 9 / 3840);
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        bench::EngineStream stream;
        std::uint8_t block[9 * 512];
        std::uint64_t framesSent = 0;
        while (!stop) {
            std::size_t frames = 512;
            if (!flatOut) {
                std::this_thread::sleep_until(next);
                next += interval;
                // Whatever the line has carried by now, so the pace holds whatever the chunks.
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                const auto due = std::uint64_t(elapsed * 3840 / 9) + 1;
                frames = std::size_t(std::min<std::uint64_t>(due > framesSent ? due - framesSent : 0, 512));
            }
            for (std::size_t k = 0; k < frames; ++k) stream.next(*reinterpret_cast<std::uint8_t(*)[9]>(block + 9 * k));
            std::size_t done = 0;
            while (done < 9 * frames) {
                const ssize_t n = ::write(master, block + done, 9 * frames - done);
                if (n <= 0) break;
                done += std::size_t(n);
            }
            sent += done;
            framesSent += frames;
            if (done < 9 * frames) break;
        }
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        feederCpu = double(t.tv_sec) + double(t.tv_nsec) / 1e9;
        deviceDone = true;
    });

    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto threadsBefore = threadCpu();
    long rssEarly = 0;
    QTimer::singleShot(std::chrono::seconds(std::min(runSeconds / 10 + 1, 60)), &app, [&] { rssEarly = residentKb(); });
    const auto t0 = std::chrono::steady_clock::now();
    QTimer::singleShot(std::chrono::seconds(runSeconds), &app, &QApplication::quit);
    app.exec();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    const std::string threads = threadTimes(threadsBefore);
    const long rssEnd = residentKb();
    // Stop the device, then let the program take what is still queued before judging losses.
    stop = true;
    // The device may be blocked on a full pty; keep taking bytes until it has stopped.
    while (!deviceDone) QApplication::processEvents(QEventLoop::AllEvents, 10);
    device.join();
    QElapsedTimer drain;
    drain.start();
    while (fs::file_size(log) < sent && drain.elapsed() < 60'000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    const double cpu = seconds(after.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_utime) -
                       seconds(before.ru_stime) - feederCpu;
    const auto logged = fs::file_size(log);
    std::printf("recorded %.1f s%s: %ju bytes sent, %ju logged (%.0f bytes/s), %zu frames plotted, %ju chart redraws\n",
                wall,
                flatOut   ? " flat out"
                : chunkMs ? " at line pace in chunks"
                          : " at line pace",
                std::uintmax_t(sent.load()), std::uintmax_t(logged), double(logged) / wall,
                window.Chart1->model().points(1).size(), std::uintmax_t(window.Chart1->refreshCount()));
    std::printf("bytes lost or changed: %ju\n", std::uintmax_t(differingBytes(log, sent)));
    std::printf("program CPU (device thread excluded): %.3f s = %.2f %% of one core\n", cpu, 100 * cpu / wall);
    std::printf("threads (CPU since the start, 10 ms steps):%s\n", threads.c_str());
    std::size_t points = 0;
    std::size_t storeBytes = 0;
    for (int s = 0; s < 4; ++s) points += window.Chart1->model().points(s).size();
    storeBytes = window.Chart1->model().memoryBytes();
    std::printf("peak resident %.1f MB; chart store %.1f MB for %zu points (%.2f bytes a point)\n",
                double(after.ru_maxrss) / 1024, double(storeBytes) / 1e6, points,
                points ? double(storeBytes) / double(points) : 0.0);
    if (rssEarly > 0 && wall > 1)
        std::printf("resident memory %.1f MB -> %.1f MB: %.1f MB an hour\n", double(rssEarly) / 1024,
                    double(rssEnd) / 1024, double(rssEnd - rssEarly) / 1024 * 3600 / (wall * 0.9));
    window.btnOpenPort->click();
    ::close(master);
    fs::remove_all(dir);
    return 0;
}
