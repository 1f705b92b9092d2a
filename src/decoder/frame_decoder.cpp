#include "frame_decoder.h"

#include "extended_math.h"
#include "zero_divide.h"

namespace darvelon::decoder {

namespace {
constexpr std::uint8_t kSync = 0xFF;
}

// Returns false, plotting nothing, when the period is zero.
bool TFrameDecoder::frameStep(bool& toggle, PlotTarget& target) {
    if (!HavePrevFrame) {
        PrevPeriodStamp = PeriodStamp;
        HavePrevFrame = true;
        return true;
    }
    // Stamps are integers below 2^24, so these differences are exact in double.
    double d = PeriodStamp - PrevPeriodStamp;
    if (d < 0) d += kStampModulus;
    if (d == 0) return false;
    const auto period = static_cast<std::uint32_t>(d);
    const double speed = speedRpm(period);
    const Angle a = angle(static_cast<std::int32_t>(PeriodStamp - PhaseStamp), period);

    const std::int32_t x = SampleIndex;
    if (toggle) target.add(kSpeedOddSeries, x, speed, kRed);
    else target.add(kSpeedEvenSeries, x, speed, kBlue);
    toggle = !toggle;
    target.add(kAngleSeries, x, a.times100, kBlack);
    PrevPeriodStamp = PeriodStamp;
    target.add(kAuxSeries, x, AuxByte * 10.0, kGreen);
    // Wraps after 2^31 frames (about two months of data) instead of overflowing.
    SampleIndex = static_cast<std::int32_t>(static_cast<std::uint32_t>(SampleIndex) + 1u);
    return true;
}

TFrameDecoder::FeedResult TFrameDecoder::feed(std::span<const std::uint8_t> bytes, bool& toggle,
                                              PlotTarget& target) {
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        // Whole frames in the block take a shortcut past the byte states; the result is the same.
        if (FrameState == 0 && n - i >= 9 && bytes[i] == kSync && bytes[i + 1] == kSync) {
            const std::uint8_t* f = bytes.data() + i;
            PeriodStamp = double((std::uint32_t{f[2]} << 16) | (std::uint32_t{f[3]} << 8) | f[4]);
            PhaseStamp = double((std::uint32_t{f[5]} << 16) | (std::uint32_t{f[6]} << 8) | f[7]);
            AuxByte = f[8];
            i += 8;
            if (!frameStep(toggle, target)) return {i + 1, true};
            continue;
        }
        const std::uint8_t b = bytes[i];
        switch (FrameState) {
        case 0: FrameState = b == kSync ? 1 : 0; break;
        case 1: FrameState = b == kSync ? 2 : 0; break;
        case 2: PeriodStamp = b * 65536.0; FrameState = 3; break;
        case 3: PeriodStamp += b * 256.0; FrameState = 4; break;
        case 4: PeriodStamp += b; FrameState = 5; break;
        case 5: PhaseStamp = b * 65536.0; FrameState = 6; break;
        case 6: PhaseStamp += b * 256.0; FrameState = 7; break;
        case 7: PhaseStamp += b; FrameState = 8; break;
        default:
            AuxByte = b;
            FrameState = 0;
            if (!frameStep(toggle, target)) return {i + 1, true};
            break;
        }
    }
    return {bytes.size(), false};
}

void TFrameDecoder::step(std::uint8_t byte, bool& toggle, PlotTarget& target) {
    if (feed(std::span(&byte, 1), toggle, target).zeroPeriod) throw EZeroDivide();
}

}  // namespace darvelon::decoder
