#pragma once
// What `darvelon-cli simulate` was asked for, shared by the log writer and the device on a port.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulator/frame_generator.h"

namespace darvelon::cli {

inline constexpr int kPublishExit = 1;

struct SimulateOptions {
    int port = 1;
    std::string output;
    std::optional<double> seconds;
    std::string speed = "realtime";
    std::uint64_t seed = 1;
    std::string profile = "sweep";
    std::vector<std::string> glitches;
};

inline simulator::StreamSettings settingsFrom(const SimulateOptions& options) {
    simulator::StreamSettings settings;
    settings.profile = *simulator::profileNamed(options.profile);
    settings.seed = options.seed;
    settings.seconds = options.seconds;
    for (const auto& name : options.glitches) settings.glitches.push_back(*simulator::glitchNamed(name));
    return settings;
}

// Plays the device on COMn until the stream ends or a stop signal; returns the exit status.
int runOnPort(const SimulateOptions& options);

}  // namespace darvelon::cli
