#pragma once
#include <CLI/CLI.hpp>

namespace darvelon::cli {

// `curve LOG`: the angle against speed, per speed bin, as CSV on stdout.
void addCurveCommand(CLI::App& app, int& exitCode);

}  // namespace darvelon::cli
