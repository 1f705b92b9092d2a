#include "simulate_command.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>

#include "log_file.h"
#include "number_options.h"
#include "published_pty.h"
#include "simulator/frame_generator.h"
#include "stop_signals.h"

namespace darvelon::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPublishExit = 1;
constexpr int kOutputExit = 2;
// 38400 bit/s with a start and a stop bit around every byte.
constexpr double kLineBytesPerSecond = 3840.0;
// While nobody holds the port open the kernel has nothing to wake us with, so we look again
// this often.
constexpr int kListenerPollMs = 20;
constexpr std::size_t kMaxSpeedChunk = 64 * 1024;
// Longer than any session on a dyno, short enough that its log fits on a disk (2.3 GB).
constexpr double kMaxSeconds = 7 * 24 * 3600;

struct SimulateOptions {
    int port = 1;
    std::string output;
    std::optional<double> seconds;
    std::string speed = "realtime";
    std::uint64_t seed = 1;
    std::string profile = "sweep";
    std::vector<std::string> glitches;
};

simulator::StreamSettings settingsFrom(const SimulateOptions& options) {
    simulator::StreamSettings settings;
    settings.profile = *simulator::profileNamed(options.profile);
    settings.seed = options.seed;
    settings.seconds = options.seconds;
    for (const auto& name : options.glitches) settings.glitches.push_back(*simulator::glitchNamed(name));
    return settings;
}

int writeLog(const SimulateOptions& options) {
    const StopSignals stop;
    int fd = -1;
    try {
        refuseUnlessRegularOrNew(options.output);
        fd = openLogForWriting(options.output, O_TRUNC);
    } catch (const LogFileError& e) {
        std::cerr << "darvelon-cli: " << e.what() << "\n";
        return kOutputExit;
    }
    simulator::FrameGenerator generator(settingsFrom(options));
    std::vector<std::uint8_t> chunk;
    std::uint64_t total = 0;
    bool more = true;
    int failure = 0;
    while (more && !stop.received() && failure == 0) {
        chunk.clear();
        while (chunk.size() < kMaxSpeedChunk && (more = generator.appendNext(chunk).has_value())) {
        }
        for (std::size_t done = 0; done < chunk.size() && failure == 0;) {
            const ssize_t written = ::write(fd, chunk.data() + done, chunk.size() - done);
            if (written > 0) done += std::size_t(written);
            else if (written == 0) failure = ENOSPC;
            else if (errno != EINTR) failure = errno;
        }
        total += chunk.size();
    }
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        std::cerr << "darvelon-cli: cannot write " << options.output << ": " << std::strerror(failure) << "\n";
        return kOutputExit;
    }
    std::cerr << "Wrote " << total << " bytes to " << options.output
              << (stop.received() ? " (interrupted)" : "") << "\n";
    return 0;
}

// Plays the device on a published pty: waits for a program to open and purge the port, then
// sends the stream; pauses while nobody listens and resumes where it left off.
class PtySession {
public:
    PtySession(const SimulateOptions& options, PublishedPty& pty, const StopSignals& stop)
        : m_realtime(options.speed == "realtime"), m_pty(pty), m_stop(stop), m_generator(settingsFrom(options)) {}

    void run() {
        while (!m_stop.received() && m_pty.master() >= 0) {
            if (!waitForListener()) return;
            std::cerr << "Port opened, sending.\n";
            m_anchor.reset();
            if (!stream()) {  // listener gone: wait for the next one
                try {
                    m_pty.freeForNextListener();
                } catch (const std::runtime_error& e) {
                    std::cerr << "darvelon-cli: " << e.what() << "; only root can open the port again.\n";
                }
                continue;
            }
            if (m_stop.received()) return;
            if (m_generator.hungUp()) {
                m_pty.hangUp();
                std::cerr << "Hung up after " << m_sent << " bytes, as asked.\n";
                return;
            }
            std::cerr << "Stream complete, " << m_sent << " bytes sent; waiting for the port to be closed.\n";
            waitUntilListenerGone();
            return;
        }
    }

    std::uint64_t sent() const { return m_sent; }

private:
    // Sleeps in poll() on the stop pipe and, given events, the master; false on a stop signal.
    bool pause(int timeoutMs, short masterEvents) {
        pollfd fds[2] = {{m_stop.fd(), POLLIN, 0}, {m_pty.master(), masterEvents, 0}};
        const int count = masterEvents ? 2 : 1;
        while (::poll(fds, count, timeoutMs) < 0 && errno == EINTR) {
        }
        return !m_stop.received();
    }

    bool waitForListener() {
        for (;;) {
            if (m_pty.takeReceivePurge()) return true;
            // A closed slave keeps the master in hang-up, which poll() reports at once.
            const bool gone = m_pty.listenerGone();
            if (!pause(gone ? kListenerPollMs : -1, gone ? 0 : POLLIN)) return false;
        }
    }

    void waitUntilListenerGone() {
        while (!m_pty.listenerGone()) {
            if (!pause(-1, POLLIN)) return;
            m_pty.takeReceivePurge();
        }
    }

    // Sends until the stream ends (true) or the listener goes (false) or a stop signal.
    bool stream() {
        for (;;) {
            if (m_stop.received()) return true;
            if (m_offset == m_pending.size() && !refill()) return true;
            if (m_realtime) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_dueAt - Clock::now()).count();
                if (wait > 0) {
                    if (!pause(int(wait), POLLIN)) return true;
                    m_pty.takeReceivePurge();
                    if (m_pty.listenerGone()) return false;
                    continue;
                }
            }
            const ssize_t written = ::write(m_pty.master(), m_pending.data() + m_offset, m_pending.size() - m_offset);
            if (written > 0) {
                m_offset += std::size_t(written);
                m_sent += std::uint64_t(written);
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written < 0 && errno == EAGAIN) {
                if (!pause(-1, POLLOUT)) return true;
                if (m_pty.listenerGone()) return false;
                continue;
            }
            // EIO: the last program holding the slave closed it.
            std::cerr << "Port closed after " << m_sent << " bytes; waiting for it to be opened again.\n";
            return false;
        }
    }

    // Takes the next piece of the stream (a batch of pieces at full speed); false at its end.
    bool refill() {
        m_pending.clear();
        m_offset = 0;
        if (!m_realtime) {
            while (m_pending.size() < kMaxSpeedChunk && m_generator.appendNext(m_pending)) {
            }
            return !m_pending.empty();
        }
        const auto due = m_generator.appendNext(m_pending);
        if (!due) return false;
        // The clock restarts whenever a listener arrives, so a paused stream resumes without a
        // burst of everything that fell due meanwhile.
        const auto now = Clock::now();
        if (!m_anchor) {
            m_anchor = now;
            m_anchorSeconds = *due;
            m_lineFree = now;
        }
        const auto engineDue = *m_anchor + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(*due - m_anchorSeconds));
        m_dueAt = std::max(engineDue, m_lineFree);
        m_lineFree = m_dueAt + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(double(m_pending.size()) / kLineBytesPerSecond));
        return true;
    }

    bool m_realtime;
    PublishedPty& m_pty;
    const StopSignals& m_stop;
    simulator::FrameGenerator m_generator;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_offset = 0;
    std::uint64_t m_sent = 0;
    std::optional<Clock::time_point> m_anchor;
    double m_anchorSeconds = 0;
    Clock::time_point m_dueAt;
    Clock::time_point m_lineFree;
};

int runOnPort(const SimulateOptions& options) {
    const StopSignals stop;
    std::optional<PublishedPty> pty;
    try {
        pty.emplace(options.port);
    } catch (const std::exception& e) {
        std::cerr << "darvelon-cli: " << e.what() << "\n";
        return kPublishExit;
    }
    std::cerr << "Simulated device on COM" << options.port << " (" << pty->slave().string() << "), profile "
              << options.profile << ", seed " << options.seed << ", " << options.speed << ".\n";
    if (!pty->shadowed().empty()) {
        std::cerr << "While it runs, COM" << options.port << " no longer stands for " << pty->shadowed().string()
                  << ".\n";
    }
    std::cerr << "Waiting for a program to open the port. Ctrl-C ends.\n";
    PtySession session(options, *pty, stop);
    session.run();
    if (stop.received()) std::cerr << "Stopped after " << session.sent() << " bytes.\n";
    return 0;
}

}  // namespace

void addSimulateCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SimulateOptions>();
    CLI::App* cmd = app.add_subcommand(
        "simulate",
        "Play the measuring device: 9-byte frames from a simulated engine, half a revolution apart.\n"
        "On a port (the default) it publishes a pseudo-terminal as COMn in the ports folder, starts\n"
        "sending when a program opens the port and clears its receive queue (as Darvelon and\n"
        "`darvelon-cli record` do), pauses while nobody listens, and withdraws COMn when it ends.\n"
        "With --output it writes the same stream to a log file at once instead.\n"
        "Exit status: 0 done (the stream was sent and the port closed, a hang-up as asked, or\n"
        "Ctrl-C/SIGTERM); 1 the port could not be published (for example COMn is pinned to a\n"
        "device that is present); 2 the output file could not be written.");
    auto* port = cmd->add_option("--port", options->port, "COM number to publish, 1 to 25")
                     ->check(plainDecimal(1, 25))
                     ->capture_default_str();
    auto* output = cmd->add_option("--output", options->output, "Write the stream to this log file instead");
    output->excludes(port);
    auto* seconds = cmd->add_option_function<double>(
        "--seconds", [options](double s) { options->seconds = s; },
        "Engine time the stream covers; endless when not given (required with --output)");
    seconds->check(secondsUpTo(kMaxSeconds, "604800 (a week)"));
    output->needs(seconds);
    cmd->add_option("--speed", options->speed,
                    "realtime: frames when the engine makes them, never faster than the line's 3840 bytes/s;\n"
                    "max: as fast as the reader takes them. A log is always written at once.")
        ->check(CLI::IsMember({"realtime", "max"}))
        ->capture_default_str();
    cmd->add_option("--seed", options->seed, "Seed of the engine's variations; the same seed gives the same stream")
        ->check(plainDecimal(0, std::numeric_limits<std::uint64_t>::max()))
        ->capture_default_str();
    cmd->add_option("--profile", options->profile,
                    "idle: about 850 rpm; sweep: 30 s pulls from idle to 7000 rpm and back;\n"
                    "race: gear changes between 2400 and 7100 rpm")
        ->check(CLI::IsMember({"idle", "sweep", "race"}))
        ->capture_default_str();
    cmd->add_option("--glitch", options->glitches,
                    "Faults to inject: garbage (stray bytes now and then), zero-period (one frame sent\n"
                    "twice, a third into the stream or at 3 s), hangup (the device vanishes mid-frame two\n"
                    "thirds into the stream or at 6 s)")
        ->check(CLI::IsMember({"garbage", "zero-period", "hangup"}));
    cmd->callback([options, &exitCode] {
        exitCode = options->output.empty() ? runOnPort(*options) : writeLog(*options);
    });
}

}  // namespace darvelon::cli
