// darvelon-cli: the headless companion of the Darvelon window.
#include <CLI/CLI.hpp>
#include <algorithm>

#include "curve_command.h"
#include "decode_command.h"
#include "ports_command.h"
#include "program_arguments.h"
#include "record_command.h"
#include "simulate_command.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Darvelon companion tool: a simulated device, headless recording, the port list, log decoding and the\n"
        "angle-against-speed curve.\n"
        "Wrong usage prints a message and exits with status 100 or above."};
    app.name("darvelon-cli");
    app.require_subcommand(1);
    int exitCode = 0;
    darvelon::cli::addSimulateCommand(app, exitCode);
    darvelon::cli::addRecordCommand(app, exitCode);
    darvelon::cli::addPortsCommand(app, exitCode);
    darvelon::cli::addDecodeCommand(app, exitCode);
    darvelon::cli::addCurveCommand(app, exitCode);
    darvelon::cli::prepareStandardStreams();
    // CLI11 takes the arguments last first.
    std::vector<std::string> arguments = darvelon::cli::utf8Arguments(argc, argv);
    std::reverse(arguments.begin(), arguments.end());
    try {
        app.parse(arguments);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return exitCode;
}
