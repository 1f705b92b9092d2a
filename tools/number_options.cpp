#include "number_options.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace darvelon::cli {

CLI::Validator plainDecimal(std::uint64_t min, std::uint64_t max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [min, max, range](std::string& text) -> std::string {
            std::uint64_t value = 0;
            const char* end = text.data() + text.size();
            const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (!digitsOnly || error != std::errc{} || stop != end || value < min || value > max) {
                return "'" + text + "' is not a whole number from " + range;
            }
            return {};
        },
        "INT in [" + range + "]");
}

CLI::Validator secondsUpTo(double maxSeconds, const std::string& maxText) {
    return CLI::Validator(
        [maxSeconds, maxText](std::string& text) -> std::string {
            double value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (error != std::errc{} || stop != end || !std::isfinite(value) || value <= 0 || value > maxSeconds) {
                return "'" + text + "' is not a number of seconds above 0 and at most " + maxText;
            }
            return {};
        },
        "SECONDS in (0, " + maxText + "]");
}

namespace {

std::string shortest(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace

CLI::Validator finiteNumberIn(double min, double max, const std::string& unit) {
    const std::string range =
        std::isinf(max) ? shortest(min) + " or more" : "from " + shortest(min) + " to " + shortest(max);
    return CLI::Validator(
        [min, max, unit, range](std::string& text) -> std::string {
            double value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (error != std::errc{} || stop != end || !std::isfinite(value) || value < min || value > max) {
                return "'" + text + "' is not a number of " + unit + ", " + range;
            }
            return {};
        },
        "NUMBER (" + unit + ", " + range + ")");
}

}  // namespace darvelon::cli
