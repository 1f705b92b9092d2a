#pragma once
#include <CLI/CLI.hpp>

namespace darvelon::cli {

// `simulate`: the measuring device, on a published pseudo-terminal or into a log file.
void addSimulateCommand(CLI::App& app, int& exitCode);

}  // namespace darvelon::cli
