#pragma once
// Byte-at-a-time decoder for the device's 9-byte frames (FF FF, 24-bit period stamp,
// 24-bit phase stamp, auxiliary byte). Plain state shared by the live and replay paths; each
// path resets the fields it owns and brings its own alternation toggle.
#include <cstddef>
#include <cstdint>
#include <span>

#include "plot_target.h"

namespace darvelon::decoder {

struct TFrameDecoder {
    std::uint8_t FrameState = 0;   // offset of the next expected byte, 0 while hunting
    double PeriodStamp = 0;        // integral tick counts 0 .. 2^24 - 1
    double PhaseStamp = 0;
    std::uint8_t AuxByte = 0;
    double PrevPeriodStamp = 0;
    bool HavePrevFrame = false;
    std::int32_t SampleIndex = 0;  // x of the next plotted frame

    // Throws EZeroDivide on a frame whose period is zero; that frame plots nothing.
    void step(std::uint8_t byte, bool& toggle, PlotTarget& target);

    struct FeedResult {
        std::size_t consumed = 0;  // bytes stepped, including the one that ended a bad frame
        bool zeroPeriod = false;   // stopped at a frame with a zero period
    };
    // Steps through a block; stops right after a zero-period frame instead of throwing, so
    // callers that batch bytes still know where the bad frame ended.
    FeedResult feed(std::span<const std::uint8_t> bytes, bool& toggle, PlotTarget& target);

private:
    bool frameStep(bool& toggle, PlotTarget& target);
};

}  // namespace darvelon::decoder
