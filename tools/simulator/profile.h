#pragma once
// The engines the simulated device can be fitted to, and the range each one stays in. The ranges
// are what a decoded stream of that profile is held to.
#include <optional>
#include <string_view>

namespace darvelon::simulator {

enum class Profile { Idle, Sweep, Race };

struct ProfileBounds {
    double minRpm;
    double maxRpm;
    double minAngleDeg;
    double maxAngleDeg;
};

ProfileBounds boundsOf(Profile profile);
std::string_view nameOf(Profile profile);
std::optional<Profile> profileNamed(std::string_view name);

}  // namespace darvelon::simulator
