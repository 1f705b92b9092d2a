#pragma once
// A deterministic engine for the simulated device: speed following the profile's course with
// lag and combustion jitter, an angle that wanders with speed and load, and a slow auxiliary
// channel. Produces one half revolution at a time, already in the device's units.
#include <cstdint>

#include "decoder/frame_format.h"
#include "simulator/profile.h"
#include "simulator/random.h"

namespace darvelon::simulator {

using decoder::kStampModulus;
using decoder::kTicksPerSecond;

struct HalfTurn {
    std::uint32_t periodTicks;  // length of this half revolution; speed = 36e6 / periodTicks
    std::uint32_t lagTicks;     // how long before the period stamp the phase stamp was taken
    std::uint8_t aux;
};

class EngineModel {
public:
    EngineModel(Profile profile, std::uint64_t seed);

    HalfTurn next();
    double seconds() const { return m_time; }  // engine time at the end of the last half turn

private:
    struct Course {
        double rpm;
        double load;  // 0 (overrun) .. 1 (full throttle)
    };
    Course courseAt(double dt);
    Course raceCourse(double dt);

    Profile m_profile;
    ProfileBounds m_bounds;
    Random m_random;
    double m_time = 0;
    double m_rpm = 850;
    double m_angleDeg = 10;
    double m_auxLevel = 40;

    // The race: accelerating through the gears, shifting, braking back down.
    enum class RacePhase { Accelerating, Holding, Braking };
    RacePhase m_racePhase = RacePhase::Accelerating;
    int m_gear = 1;
    double m_raceTarget = 3200;
    double m_shiftAt = 6800;
    double m_phaseEnds = 0;
    double m_brakeTo = 3200;
};

}  // namespace darvelon::simulator
