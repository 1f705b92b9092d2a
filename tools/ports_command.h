#pragma once
#include <CLI/CLI.hpp>

namespace darvelon::cli {

// `ports`: what COM1 to COM25 stand for and whether each can be opened now.
void addPortsCommand(CLI::App& app, int& exitCode);

}  // namespace darvelon::cli
