#include "record_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>

#include "decoder/frame_decoder.h"
#include "log_file.h"
#include "number_options.h"
#include "program_arguments.h"
#include "recording/recorder.h"
#include "recording_status.h"
#include "serial/com_port.h"
#include "serial/plain_owner_loop.h"
#include "stop_signals.h"

namespace darvelon::cli {
namespace {

constexpr int kPortExit = 1;
constexpr int kLogExit = 2;
// The status line's refresh, and how soon a stop signal is noticed.
constexpr std::chrono::milliseconds kStatusInterval{250};

struct RecordOptions {
    int port = 1;
    bool force = false;
    std::string log;
};

int runRecord(const RecordOptions& options) {
    // Installed before the receive thread starts, so every thread sees the handlers.
    const StopSignals stop;
    serial::PlainOwnerLoop loop;

    const std::filesystem::path logPath = pathFromUtf8(options.log);
    std::error_code error;
    if (!options.force && std::filesystem::exists(std::filesystem::symlink_status(logPath, error))) {
        std::cerr << "darvelon-cli: " << options.log << " exists; use --force to replace it\n";
        return kLogExit;
    }
    try {
        refuseUnlessRegularOrNew(logPath);
    } catch (const LogFileError& e) {
        std::cerr << "darvelon-cli: " << e.what() << "\n";
        return kLogExit;
    }
    // The port first: a mistyped port number then leaves no empty log behind that would need
    // --force on the next try.
    std::unique_ptr<serial::TComPort> port;
    try {
        port = std::make_unique<serial::TComPort>(static_cast<std::uint8_t>(options.port), loop);
    } catch (const serial::EComPortError& e) {
        std::cerr << "darvelon-cli: " << e.what() << " (`darvelon-cli ports` shows what each COM number stands for)\n";
        return kPortExit;
    }
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    RecordingStatus status;
    std::optional<recording::Recorder> recorder;
    try {
        // O_EXCL makes the refusal atomic: no window in which another program's file is replaced.
        recorder.emplace(
            openLogForWriting(logPath, options.force ? O_TRUNC : O_EXCL),
            recording::Recorder::Messages{"cannot write " + options.log + ": ", "cannot close " + options.log + ": "},
            decoder, toggle, status);
    } catch (const LogFileError& e) {
        std::cerr << "darvelon-cli: " << e.what() << "\n";
        return kLogExit;
    }

    int exitCode = 0;
    bool logFailed = false;
    const bool showStatus = ::isatty(STDERR_FILENO) == 1;
    const auto started = std::chrono::steady_clock::now();
    const auto elapsedSeconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    bool ended = false;

    port->OnRead = [&](serial::TReadThread&, std::span<const std::uint8_t> data) {
        try {
            recorder->take(data);
        } catch (const recording::LogWriteError&) {
            logFailed = true;
            throw;  // ends reception; OnReceptionEnded reports it
        }
    };
    port->OnReceptionEnded = [&](const std::string& message) {
        if (showStatus) std::cerr << "\r\033[K";
        std::cerr << "darvelon-cli: " << message << "\n";
        exitCode = logFailed ? kLogExit : kPortExit;
        ended = true;
        loop.quit();
    };

    while (!ended && !stop.received()) {
        loop.runFor(kStatusInterval);
        if (showStatus && !ended)
            std::cerr << "\r\033[K" << status.line(elapsedSeconds(), recorder->bytesLogged(), recorder->zeroPeriods())
                      << std::flush;
    }

    // Reception ends before the log closes, and what the port had already read still goes
    // to the log.
    try {
        port->Close();
    } catch (const recording::LogWriteError& e) {
        std::cerr << "darvelon-cli: " << e.what() << "\n";
        exitCode = kLogExit;
    }
    port.reset();
    try {
        recorder->close();
    } catch (const recording::LogWriteError& e) {
        std::cerr << "darvelon-cli: " << e.what() << "\n";
        exitCode = kLogExit;
    }
    if (showStatus) std::cerr << "\r\033[K";
    std::cerr << "Recorded " << status.line(elapsedSeconds(), recorder->bytesLogged(), recorder->zeroPeriods())
              << " to " << options.log << "\n";
    return exitCode;
}

}  // namespace

void addRecordCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RecordOptions>();
    CLI::App* cmd = app.add_subcommand(
        "record",
        "Record COMn into a .dcc log without the window: every received byte goes to the log\n"
        "unchanged, one write per byte, and is decoded as the window does (frames with a zero\n"
        "period are counted and skipped). On a terminal, stderr shows bytes, frames, the latest\n"
        "rpm and angle and the elapsed time. Ctrl-C, SIGTERM or SIGHUP stop it with the log complete.\n"
        "Exit status: 0 stopped by a signal, log complete; 1 the port could not be opened or\n"
        "failed during the recording (its message is printed, the log is kept); 2 the log exists\n"
        "(without --force) or could not be created, written or closed.");
    cmd->add_option("--port", options->port, "COM number to record from, 1 to 25")
        ->check(plainDecimal(1, 25))
        ->capture_default_str();
    cmd->add_flag("--force", options->force, "Replace LOG if it exists");
    cmd->add_option("LOG", options->log, "The log file to create")->required();
    cmd->callback([options, &exitCode] { exitCode = runRecord(*options); });
}

}  // namespace darvelon::cli
