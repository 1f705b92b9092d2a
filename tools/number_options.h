#pragma once
// Checks for numeric options that accept only what a user plainly types. CLI11's own conversion
// also reads "0x3", "+3" and " 3" as 3, clamps a seed beyond 2^64-1, and takes nan and 1e300
// as lengths of time.
#include <CLI/CLI.hpp>
#include <cstdint>

namespace darvelon::cli {

// Decimal digits only, from `min` to `max`.
CLI::Validator plainDecimal(std::uint64_t min, std::uint64_t max);
// A finite number of seconds above zero and at most `maxSeconds`.
CLI::Validator secondsUpTo(double maxSeconds, const std::string& maxText);
// A finite number of `unit` from `min` to `max`; no upper limit when `max` is infinite.
CLI::Validator finiteNumberIn(double min, double max, const std::string& unit);

}  // namespace darvelon::cli
