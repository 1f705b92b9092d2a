// The simulated device on a pseudo-terminal published in the ports folder.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iostream>
#include <optional>

#include "published_pty.h"
#include "simulate_on_port.h"
#include "stop_signals.h"

namespace darvelon::cli {
namespace {

using Clock = std::chrono::steady_clock;

// 38400 bit/s with a start and a stop bit around every byte.
constexpr double kLineBytesPerSecond = 3840.0;
// While nobody holds the port open the kernel has nothing to wake us with, so we look again
// this often.
constexpr int kListenerPollMs = 20;
constexpr std::size_t kMaxSpeedChunk = 64 * 1024;

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

}  // namespace

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

}  // namespace darvelon::cli
