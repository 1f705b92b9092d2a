#include "frame_decoder.h"

#include "chart_points.h"
#include "extended_math.h"
#include "frame_format.h"
#include "zero_divide.h"

namespace darvelon::decoder {

void TFrameDecoder::resetForRecording() {
    FrameState = 0;
    SampleIndex = 0;
    PrevPeriodStamp = 0;
    HavePrevFrame = false;
    BytesTaken = 0;
}

void TFrameDecoder::resetForReplay() {
    FrameState = 0;
    SampleIndex = 0;
    HavePrevFrame = false;
    BytesTaken = 0;
}

// Returns false, handing out nothing, when the period is zero. BytesTaken already counts the
// frame's last byte.
bool TFrameDecoder::frameStep(bool& toggle, FrameSink& frames) {
    if (!HavePrevFrame) {
        PrevPeriodStamp = PeriodStamp;
        HavePrevFrame = true;
        return true;
    }
    // Stamps are integers below 2^24, so these differences are exact in double.
    double d = PeriodStamp - PrevPeriodStamp;
    if (d < 0) d += kStampModulus;
    if (d == 0) return false;
    Frame f;
    f.sample = SampleIndex;
    f.periodStamp = static_cast<std::uint32_t>(PeriodStamp);
    f.phaseStamp = static_cast<std::uint32_t>(PhaseStamp);
    f.periodTicks = static_cast<std::uint32_t>(d);
    f.speedRpm = speedRpm(f.periodTicks);
    f.angle = angle(static_cast<std::int32_t>(PeriodStamp - PhaseStamp), f.periodTicks);
    f.aux = AuxByte;
    f.oddSpeedSeries = toggle;
    f.endOffset = BytesTaken;
    frames.frame(f);
    toggle = !toggle;
    PrevPeriodStamp = PeriodStamp;
    // Wraps after 2^31 frames (about two months of data) instead of overflowing.
    SampleIndex = static_cast<std::int32_t>(static_cast<std::uint32_t>(SampleIndex) + 1u);
    return true;
}

TFrameDecoder::FeedResult TFrameDecoder::feed(std::span<const std::uint8_t> bytes, bool& toggle, FrameSink& frames) {
    const std::size_t n = bytes.size();
    const std::uint64_t base = BytesTaken;
    for (std::size_t i = 0; i < n; ++i) {
        // Whole frames in the block take a shortcut past the byte states; the result is the same.
        if (FrameState == 0 && n - i >= kFrameSize && bytes[i] == kSyncByte && bytes[i + 1] == kSyncByte) {
            const std::uint8_t* f = bytes.data() + i;
            PeriodStamp = double(readStamp(f + kPeriodStampOffset));
            PhaseStamp = double(readStamp(f + kPhaseStampOffset));
            AuxByte = f[kAuxOffset];
            i += kFrameSize - 1;
            BytesTaken = base + i + 1;
            if (!frameStep(toggle, frames)) return {i + 1, true};
            continue;
        }
        const std::uint8_t b = bytes[i];
        // One byte of the frame per line: the layout reads straight down.
        // clang-format off
        switch (FrameState) {
        case 0: FrameState = b == kSyncByte ? 1 : 0; break;
        case 1: FrameState = b == kSyncByte ? 2 : 0; break;
        case 2: PeriodStamp = b * 65536.0; FrameState = 3; break;
        case 3: PeriodStamp += b * 256.0; FrameState = 4; break;
        case 4: PeriodStamp += b; FrameState = 5; break;
        case 5: PhaseStamp = b * 65536.0; FrameState = 6; break;
        case 6: PhaseStamp += b * 256.0; FrameState = 7; break;
        case 7: PhaseStamp += b; FrameState = 8; break;
        default:
            AuxByte = b;
            FrameState = 0;
            BytesTaken = base + i + 1;
            if (!frameStep(toggle, frames)) return {i + 1, true};
            break;
        }
        // clang-format on
    }
    BytesTaken = base + n;
    return {n, false};
}

TFrameDecoder::FeedResult TFrameDecoder::feed(std::span<const std::uint8_t> bytes, bool& toggle, PlotTarget& target) {
    ChartPoints points(target);
    return feed(bytes, toggle, points);
}

void TFrameDecoder::step(std::uint8_t byte, bool& toggle, FrameSink& frames) {
    if (feed(std::span(&byte, 1), toggle, frames).zeroPeriod) throw EZeroDivide();
}

void TFrameDecoder::step(std::uint8_t byte, bool& toggle, PlotTarget& target) {
    ChartPoints points(target);
    step(byte, toggle, points);
}

}  // namespace darvelon::decoder
