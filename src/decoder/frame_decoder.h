#pragma once
// Byte-at-a-time decoder for the device's 9-byte frames (frame_format.h). Plain state shared by
// the live and replay paths; each path resets the fields it owns and brings its own alternation
// toggle. Every plotted frame comes out as a Frame value.
#include <cstddef>
#include <cstdint>
#include <span>

#include "frame.h"
#include "plot_target.h"

namespace darvelon::decoder {

struct TFrameDecoder {
    std::uint8_t FrameState = 0;  // offset of the next expected byte, 0 while hunting
    double PeriodStamp = 0;       // integral tick counts 0 .. 2^24 - 1
    double PhaseStamp = 0;
    std::uint8_t AuxByte = 0;
    double PrevPeriodStamp = 0;
    bool HavePrevFrame = false;
    std::int32_t SampleIndex = 0;  // x of the next plotted frame
    std::uint64_t BytesTaken = 0;  // since the last reset: where each frame's last byte was

    // A recording starts from the next byte the port delivers; the toggle carries on.
    void resetForRecording();
    // A replay starts at the log's first byte; its toggle is reset by the caller.
    void resetForReplay();

    // Throws EZeroDivide on a frame whose period is zero; that frame is not handed out.
    void step(std::uint8_t byte, bool& toggle, FrameSink& frames);

    struct FeedResult {
        std::size_t consumed = 0;  // bytes stepped, including the one that ended a bad frame
        bool zeroPeriod = false;   // stopped at a frame with a zero period
    };
    // Steps through a block; stops right after a zero-period frame instead of throwing, so
    // callers that batch bytes still know where the bad frame ended.
    FeedResult feed(std::span<const std::uint8_t> bytes, bool& toggle, FrameSink& frames);
    // The same, each frame drawn as the chart's four points.
    FeedResult feed(std::span<const std::uint8_t> bytes, bool& toggle, PlotTarget& target);
    void step(std::uint8_t byte, bool& toggle, PlotTarget& target);

private:
    bool frameStep(bool& toggle, FrameSink& frames);
};

}  // namespace darvelon::decoder
