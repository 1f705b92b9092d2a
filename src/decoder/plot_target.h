#pragma once
// The surface the frame decoder draws on: four line series addressed by index.
#include <cstdint>

namespace darvelon::decoder {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr int kSeriesCount = 4;
inline constexpr int kSpeedOddSeries = 0;   // Series1: speed while the toggle is true
inline constexpr int kAngleSeries = 1;      // Series2: angle x 100
inline constexpr int kSpeedEvenSeries = 2;  // Series3: speed while the toggle is false
inline constexpr int kAuxSeries = 3;        // Series4: auxiliary byte x 10

inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kGreen{0, 128, 0};

class PlotTarget {
public:
    virtual ~PlotTarget() = default;
    // x is the frame's sample index; points of one series arrive in ascending x.
    virtual void add(int index, std::int32_t x, double y, Rgb colour) = 0;
};

}  // namespace darvelon::decoder
