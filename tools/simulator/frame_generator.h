#pragma once
// The simulated device's byte stream: one 9-byte frame per half revolution of the engine model,
// plus the faults asked for. Pure and deterministic: the same settings give the same bytes, so a
// log written by the simulator and a recording of it over a port can be compared byte for byte.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "simulator/engine_model.h"
#include "simulator/profile.h"
#include "simulator/random.h"

namespace darvelon::simulator {

enum class Glitch {
    Garbage,     // stray bytes between frames, now and then; never 0xFF, so the decoder skips them
    ZeroPeriod,  // one frame sent twice, which decodes as a zero period
    HangUp,      // the device goes away in the middle of a frame
};

std::string_view nameOf(Glitch glitch);
std::optional<Glitch> glitchNamed(std::string_view name);

struct StreamSettings {
    Profile profile = Profile::Sweep;
    std::uint64_t seed = 1;
    std::optional<double> seconds;  // engine time the stream covers; endless when unset
    std::vector<Glitch> glitches;
};

// Engine time of the one-off faults: a third and two thirds into the stream, or at 3 s and 6 s
// into an endless one.
double zeroPeriodSeconds(const StreamSettings& settings);
double hangUpSeconds(const StreamSettings& settings);

class FrameGenerator {
public:
    explicit FrameGenerator(const StreamSettings& settings);

    // Appends what the device sends next (a frame, perhaps after stray bytes or followed by its
    // repeat) and returns the engine time, in seconds from the first frame, at which it is sent.
    // nullopt once the stream has ended; nothing is appended then.
    std::optional<double> appendNext(std::vector<std::uint8_t>& out);

    bool hungUp() const { return m_hungUp; }  // ended by the hang-up fault, not by its length

private:
    bool has(Glitch glitch) const;

    StreamSettings m_settings;
    EngineModel m_engine;
    Random m_faults;  // separate from the engine's, so faults never change the frames themselves
    std::uint32_t m_periodStamp;
    double m_time = 0;
    bool m_first = true;
    bool m_zeroPeriodSent = false;
    bool m_ended = false;
    bool m_hungUp = false;
};

// The whole stream of a finite setting, for logs, tests and samples.
std::vector<std::uint8_t> generateStream(const StreamSettings& settings);

}  // namespace darvelon::simulator
