#pragma once
// A pull at constant acceleration as the device would send it: each period is the one the speed
// at the end of that period gives, so each frame's speed is the closed form at its own time. The
// stamps cross the counter's wrap. Keeps what the bytes were made from, to check against.
#include <cmath>
#include <cstdint>
#include <vector>

#include "decoder/frame_format.h"
#include "support/frames.h"

namespace darvelon::test {

struct EnginePull {
    double fromRpm = 3000;
    double rpmPerSecond = 2000;
    double seconds = 2;
    double angleFrom = 10;  // degrees, rising linearly frame by frame
    double angleTo = 30;

    Bytes bytes;
    std::vector<std::uint64_t> ticks;  // per plotted frame: ticks since the first plotted one
    std::vector<double> angles;        // per plotted frame: the angle meant, before rounding

    EnginePull& make() {
        std::uint64_t elapsed = 0;  // since the reference frame
        std::vector<std::uint32_t> periods;
        while (elapsed / decoder::kTicksPerSecond < seconds) {
            // rpm = 36e6 / period, at the time the period ends; a few rounds settle the period.
            double period = 36e6 / fromRpm;
            for (int round = 0; round < 4; ++round)
                period = 36e6 / rpmAt((double(elapsed) + period) / decoder::kTicksPerSecond);
            periods.push_back(std::uint32_t(std::lround(period)));
            elapsed += periods.back();
        }
        // The counter wraps halfway through the frame a quarter of the way in: the phase stamps of
        // that frame and the one before stay on their period stamp's side of the wrap, since
        // the angle is taken from their plain difference.
        const std::size_t wrapFrame = periods.size() / 4;
        std::uint64_t beforeWrap = 0;
        for (std::size_t k = 0; k <= wrapFrame; ++k) beforeWrap += periods[k];
        std::uint64_t stamp = decoder::kStampModulus + periods[wrapFrame] / 2 - beforeWrap;
        bytes = frame(std::uint32_t(stamp % decoder::kStampModulus), 0, 0);
        for (std::size_t k = 0; k < periods.size(); ++k) {
            stamp += periods[k];
            const double angle = angleFrom + (angleTo - angleFrom) * double(k) / double(periods.size() - 1);
            const auto lag = std::uint64_t(std::llround(angle / 180 * periods[k]));
            const Bytes f = frame(std::uint32_t(stamp % decoder::kStampModulus),
                                  std::uint32_t((stamp - lag) % decoder::kStampModulus), std::uint8_t(k));
            bytes.insert(bytes.end(), f.begin(), f.end());
            ticks.push_back(k == 0 ? 0 : ticks.back() + periods[k]);
            angles.push_back(angle);
        }
        return *this;
    }
    double rpmAt(double secondsSinceReference) const { return fromRpm + rpmPerSecond * secondsSinceReference; }
    double secondsOf(std::size_t sample) const { return double(ticks[sample]) / decoder::kTicksPerSecond; }
};

}  // namespace darvelon::test
