#pragma once
// One hour of full-rate device data: 38400 bit/s 8N1 is 3840 bytes a second, 426 frames of 9
// bytes; about 1.54 million frames, 4.6 million chart points, 13.8 MB of log.
#include <cmath>
#include <cstdint>
#include <vector>

namespace darvelon::bench {

inline constexpr std::size_t kFramesPerHour = 3840 * 3600 / 9;

// An engine sweeping between idle and high speed with a wandering angle.
inline std::vector<std::uint8_t> engineLog(std::size_t frames) {
    std::vector<std::uint8_t> out;
    out.reserve(frames * 9);
    std::uint32_t stamp = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double rpm = 850 + 3000 * (1 + std::sin(double(i) / 20000));
        const auto d = std::uint32_t(36e6 / rpm);
        stamp = (stamp + d) % (1u << 24);
        const double degrees = 20 + 10 * std::sin(double(i) / 3000);
        const std::uint32_t phase = (stamp + (1u << 24) - std::uint32_t(d * degrees / 180)) % (1u << 24);
        const std::uint8_t aux = std::uint8_t(128 + 100 * std::sin(double(i) / 5000));
        const std::uint8_t f[9] = {0xFF, 0xFF, std::uint8_t(stamp >> 16), std::uint8_t(stamp >> 8), std::uint8_t(stamp),
                                   std::uint8_t(phase >> 16), std::uint8_t(phase >> 8), std::uint8_t(phase), aux};
        out.insert(out.end(), f, f + 9);
    }
    return out;
}

}  // namespace darvelon::bench
