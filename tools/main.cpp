// darvelon-cli: the headless companion of the Darvelon window.
#include <CLI/CLI.hpp>

#include "decode_command.h"

int main(int argc, char** argv) {
    CLI::App app{"Darvelon companion tool: decode logs without the window."};
    app.name("darvelon-cli");
    app.require_subcommand(1);
    int exitCode = 0;
    darvelon::cli::addDecodeCommand(app, exitCode);
    CLI11_PARSE(app, argc, argv);
    return exitCode;
}
