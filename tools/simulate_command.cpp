#include "simulate_command.h"

#include <fcntl.h>
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
#include "program_arguments.h"
#include "simulate_on_port.h"
#include "simulator/frame_generator.h"
#include "stop_signals.h"

namespace darvelon::cli {
namespace {

constexpr int kOutputExit = 2;
constexpr std::size_t kMaxSpeedChunk = 64 * 1024;
// Longer than any session on a dyno, short enough that its log fits on a disk (2.3 GB).
constexpr double kMaxSeconds = 7 * 24 * 3600;

int writeLog(const SimulateOptions& options) {
    const StopSignals stop;
    int fd = -1;
    try {
        refuseUnlessRegularOrNew(pathFromUtf8(options.output));
        fd = openLogForWriting(pathFromUtf8(options.output), O_TRUNC);
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
    std::cerr << "Wrote " << total << " bytes to " << options.output << (stop.received() ? " (interrupted)" : "")
              << "\n";
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
    cmd->callback(
        [options, &exitCode] { exitCode = options->output.empty() ? runOnPort(*options) : writeLog(*options); });
}

}  // namespace darvelon::cli
