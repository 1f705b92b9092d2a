#include "curve_command.h"

#include <iostream>
#include <limits>
#include <memory>
#include <optional>

#include "analysis/curve_csv.h"
#include "analysis/curve_table.h"
#include "decoder/log_reader.h"
#include "number_options.h"
#include "program_arguments.h"

namespace darvelon::cli {

namespace {

constexpr int kZeroPeriodExit = 1;
constexpr int kUnreadableExit = 2;
constexpr double kUnbounded = std::numeric_limits<double>::infinity();

struct CurveOptions {
    std::string log;
    double binRpm = analysis::kDefaultBinRpm;
    std::optional<double> fromSeconds;
    std::optional<double> toSeconds;
};

int runCurve(const CurveOptions& options) {
    std::optional<analysis::TimeWindow> window;
    if (options.fromSeconds || options.toSeconds)
        window = analysis::TimeWindow{options.fromSeconds.value_or(0), options.toSeconds.value_or(kUnbounded)};
    analysis::CurveTable table(options.binRpm, window);
    decoder::ReplayOutcome outcome;
    try {
        decoder::LogReader log(pathFromUtf8(options.log));
        decoder::TFrameDecoder decoder;
        bool toggle = false;
        outcome = decoder::decodeLog(log, decoder, toggle, table);
    } catch (const decoder::LogReadError& e) {
        // Half a log would make a table that looks whole; nothing goes out.
        std::cerr << "darvelon-cli: " << e.what() << "\n";
        return kUnreadableExit;
    }
    analysis::writeCurveCsv(table.bins(), std::cout);
    std::cout.flush();
    if (outcome.zeroPeriod) {
        std::cerr << "Floating point division by zero at byte offset " << outcome.bytesDecoded - 1 << "\n";
        return kZeroPeriodExit;
    }
    if (!std::cout) {
        std::cerr << "darvelon-cli: cannot write the output\n";
        return kUnreadableExit;
    }
    return 0;
}

}  // namespace

void addCurveCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CurveOptions>();
    CLI::App* cmd = app.add_subcommand(
        "curve",
        "Decode a .dcc log as a replay would and write the angle against engine speed to stdout as CSV,\n"
        "one row per speed bin that holds frames: speed_from_rpm,speed_to_rpm,frames,angle_mean_deg,\n"
        "angle_min_deg,angle_max_deg. A bin holds speeds from its lower edge up to, not including, its\n"
        "upper one. Time counts from the first frame of the log.\n"
        "Exit status: 0 done; 1 a frame with a zero period (the table of the frames before it is written,\n"
        "stderr gives the byte offset of the frame's last byte); 2 the log cannot be read.");
    cmd->add_option("LOG", options->log, "The log file to read")->required();
    cmd->add_option("--bin", options->binRpm, "Width of a speed bin in rpm")
        ->check(finiteNumberIn(analysis::kMinBinRpm, kUnbounded, "rpm"))
        ->capture_default_str();
    cmd->add_option_function<double>(
           "--from", [options](double s) { options->fromSeconds = s; },
           "Leave out frames before this many seconds from the first frame")
        ->check(finiteNumberIn(0, kUnbounded, "seconds"));
    cmd->add_option_function<double>(
           "--to", [options](double s) { options->toSeconds = s; },
           "Leave out frames after this many seconds from the first frame")
        ->check(finiteNumberIn(0, kUnbounded, "seconds"));
    cmd->callback([options, &exitCode] {
        if (options->fromSeconds && options->toSeconds && *options->fromSeconds > *options->toSeconds)
            throw CLI::ValidationError("--from", "later than --to, so the window would hold nothing");
        std::ios::sync_with_stdio(false);
        exitCode = runCurve(*options);
    });
}

}  // namespace darvelon::cli
