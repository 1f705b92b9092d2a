#pragma once
// One decoded frame as a value: what the decoder computed for it, before anything is drawn.
// The chart, the CSV export, the live status and the readout all read these.
#include <cstdint>

#include "extended_math.h"

namespace darvelon::decoder {

struct Frame {
    std::int32_t sample = 0;        // x of the frame's chart points
    std::uint32_t periodStamp = 0;  // the stamps as the device sent them
    std::uint32_t phaseStamp = 0;
    std::uint32_t periodTicks = 0;  // 1 .. 2^24 - 1 ticks of the 1.2 MHz counter, wrap resolved
    double speedRpm = 0;            // as plotted
    Angle angle{};                  // degrees, and the plotted y (degrees x 100)
    std::uint8_t aux = 0;
    bool oddSpeedSeries = false;  // the toggle as this frame found it: Series1 (red) when true
    std::uint64_t endOffset = 0;  // bytes the decoder had taken when the frame's last one came
};

// Where the decoder hands its frames, one call per plotted frame, in order.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void frame(const Frame& f) = 0;
};

}  // namespace darvelon::decoder
