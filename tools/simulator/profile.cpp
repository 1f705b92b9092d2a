#include "simulator/profile.h"

namespace darvelon::simulator {

ProfileBounds boundsOf(Profile profile) {
    // Chosen clear of the eighteen periods whose decoded speed is one below 36e6 / d, so a
    // clamped period never decodes outside its range.
    switch (profile) {
    case Profile::Idle: return {780, 920, 4, 20};
    case Profile::Sweep: return {780, 7100, 4, 45};
    case Profile::Race: return {2400, 7100, 4, 45};
    }
    return {};
}

std::string_view nameOf(Profile profile) {
    switch (profile) {
    case Profile::Idle: return "idle";
    case Profile::Sweep: return "sweep";
    case Profile::Race: return "race";
    }
    return {};
}

std::optional<Profile> profileNamed(std::string_view name) {
    for (const Profile p : {Profile::Idle, Profile::Sweep, Profile::Race}) {
        if (nameOf(p) == name) return p;
    }
    return std::nullopt;
}

}  // namespace darvelon::simulator
