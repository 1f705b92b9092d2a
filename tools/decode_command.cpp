#include "decode_command.h"

#include <iostream>
#include <memory>

#include "decoder/csv_export.h"
#include "program_arguments.h"

namespace darvelon::cli {

namespace {
constexpr int kZeroPeriodExit = 1;
constexpr int kUnreadableExit = 2;
}  // namespace

void addDecodeCommand(CLI::App& app, int& exitCode) {
    auto log = std::make_shared<std::string>();
    CLI::App* cmd =
        app.add_subcommand("decode",
                           "Decode a .dcc log as a replay would and write one CSV row per plotted frame to stdout:\n"
                           "sample,period_ticks,speed_rpm,angle_deg,aux. angle_deg is the angle in degrees before\n"
                           "the x100 of the chart, in the shortest form that reads back exactly.\n"
                           "Exit status: 0 done; 1 a frame with a zero period (the rows before it are written,\n"
                           "stderr gives the byte offset of the frame's last byte); 2 the log cannot be read.");
    cmd->add_option("LOG", *log, "The log file to decode")->required();
    cmd->callback([log, &exitCode] {
        std::ios::sync_with_stdio(false);
        try {
            const decoder::ReplayOutcome outcome = decoder::exportCsv(pathFromUtf8(*log), std::cout);
            std::cout.flush();
            if (outcome.zeroPeriod) {
                std::cerr << "Floating point division by zero at byte offset " << outcome.bytesDecoded - 1 << "\n";
                exitCode = kZeroPeriodExit;
                return;
            }
            if (!std::cout) {
                std::cerr << "darvelon-cli: cannot write the output\n";
                exitCode = kUnreadableExit;
            }
        } catch (const decoder::LogReadError& e) {
            std::cout.flush();
            std::cerr << "darvelon-cli: " << e.what() << "\n";
            exitCode = kUnreadableExit;
        }
    });
}

}  // namespace darvelon::cli
