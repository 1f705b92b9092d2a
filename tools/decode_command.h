#pragma once
#include <CLI/CLI.hpp>

namespace darvelon::cli {

// `decode LOG`: the replay of a log as CSV on stdout.
void addDecodeCommand(CLI::App& app, int& exitCode);

}  // namespace darvelon::cli
