#pragma once
#include <CLI/CLI.hpp>

namespace darvelon::cli {

// `record LOG`: a recording without the window, through the same port and decoder.
void addRecordCommand(CLI::App& app, int& exitCode);

}  // namespace darvelon::cli
