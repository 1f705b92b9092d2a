#pragma once
// Speed and angle exactly as 64-bit-significand (x87 extended) arithmetic gives them, each
// operation rounded to nearest-even. Stored logs were plotted that way, so every result must
// match bit for bit, including the eighteen periods whose speed comes out one below 36e6 / d.
#include <cstdint>
#include <limits>

#include "frame_format.h"

namespace darvelon::decoder {

// d in ticks, 1 .. 2^24 - 1. trunc(((1200000 / d) / 2) * 60).
double speedRpmNative(std::uint32_t d);
double speedRpmPortable(std::uint32_t d);

struct Angle {
    double degrees;   // ((period - phase) / d) * 180, rounded once to double at the end
    double times100;  // degrees * 100 in extended precision, rounded to double: the plotted y
};
// diff = PeriodStamp - PhaseStamp, no wrap correction: -(2^24 - 1) .. 2^24 - 1.
Angle angleNative(std::int32_t diff, std::uint32_t d);
Angle anglePortable(std::int32_t diff, std::uint32_t d);

// Where long double is the x87 format the hardware path is both exact and fastest.
inline constexpr bool kHaveNativeExtended = std::numeric_limits<long double>::digits == 64;

inline double speedRpm(std::uint32_t d) {
    // The extended quotient is within 2e-19 relative of 36e6 / d, far less than the 1 / d gap
    // between a quotient that is not whole and the nearest whole number, so it truncates to the
    // integer quotient. Only the divisors of 36e6 need the careful path; one integer division
    // replaces three dependent x87 operations and a trip through memory.
    constexpr std::uint32_t kTicksPerMinuteOverTwo = 36'000'000;
    const std::uint32_t whole = kTicksPerMinuteOverTwo / d;
    if (whole * d != kTicksPerMinuteOverTwo) return whole;
    if constexpr (kHaveNativeExtended) return speedRpmNative(d);
    else return speedRpmPortable(d);
}
// One double division where that provably rounds to the same double; one of the paths above
// for the rare quotients that sit too close to a rounding boundary to tell.
Angle angle(std::int32_t diff, std::uint32_t d);

}  // namespace darvelon::decoder
