#include "decoder/extended_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

using namespace darvelon::decoder;

namespace {

// The divisors of 36,000,000 whose quotient x87 rounding pushes just below the integer.
constexpr std::array<std::uint32_t, 18> kOneBelow = {9,    18,   36,   72,   144,   288,   576,   1125,   1152,
                                                     2250, 2304, 4500, 9000, 18000, 36000, 72000, 144000, 288000};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(SpeedRpm, EveryPeriodIsTheQuotientExceptTheEighteenDivisors) {
    for (std::uint32_t d = 1; d < kStampModulus; ++d) {
        const bool special = std::binary_search(kOneBelow.begin(), kOneBelow.end(), d);
        const double expected = 36'000'000 / d - (special ? 1 : 0);
        const double portable = speedRpmPortable(d);
        ASSERT_EQ(portable, expected) << "d=" << d;
        ASSERT_EQ(speedRpm(d), expected) << "d=" << d;
        if constexpr (kHaveNativeExtended) {
            ASSERT_EQ(speedRpmNative(d), portable) << "d=" << d;
        }
    }
}

TEST(SpeedRpm, SelectedPeriods) {
    const std::pair<std::uint32_t, double> cases[] = {{1, 36'000'000}, {100, 360'000}, {1200, 30'000}, {7200, 5000},
                                                      {9000, 3999},    {18000, 1999},  {36000, 999},   {36001, 999},
                                                      {72000, 499},    {100000, 360},  {16777215, 2}};
    for (auto [d, rpm] : cases) EXPECT_EQ(speedRpm(d), rpm) << "d=" << d;
}

TEST(Angle, DocumentedValues) {
    EXPECT_EQ(angle(1000, 36000).times100, 500);
    EXPECT_EQ(angle(0, 36000).times100, 0);
    EXPECT_EQ(angle(-500, 36000).times100, -250);
    EXPECT_EQ(angle(35999, 36000).times100, 17999.5);
    EXPECT_EQ(angle(36000, 36000).degrees, 180);
}

// Double rounding (64-bit significand, then 53) differs from a direct double computation in
// rare cases. The software emulation, the x87 hardware and the shortcut the decoder takes
// must agree on every bit of both results, signs of zero included.
TEST(Angle, EveryPathAgreesWithTheSoftwareEmulation) {
    std::mt19937_64 rng(20261209);
    std::uniform_int_distribution<std::int32_t> anyDiff(-(1 << 24) + 1, (1 << 24) - 1);
    std::uniform_int_distribution<std::uint32_t> anyPeriod(1, kStampModulus - 1);
    std::uniform_int_distribution<std::uint32_t> enginePeriod(1000, 200000);
    std::size_t overHalfTurn = 0;
    std::size_t negative = 0;
    std::size_t directDiffers = 0;
    std::size_t roundedOnceDiffers = 0;
    const auto check = [&](std::int32_t diff, std::uint32_t d) {
        const Angle sw = anglePortable(diff, d);
        const Angle used = angle(diff, d);
        ASSERT_TRUE(sameBits(used.degrees, sw.degrees)) << diff << "/" << d;
        ASSERT_TRUE(sameBits(used.times100, sw.times100)) << diff << "/" << d;
        if constexpr (kHaveNativeExtended) {
            const Angle hw = angleNative(diff, d);
            ASSERT_TRUE(sameBits(hw.degrees, sw.degrees)) << diff << "/" << d;
            ASSERT_TRUE(sameBits(hw.times100, sw.times100)) << diff << "/" << d;
        }
        overHalfTurn += sw.degrees > 180;
        negative += sw.degrees < 0;
        directDiffers += sw.times100 != double(diff) / d * 180 * 100;
        // The shortcut's own first guess; where it is wrong the careful path must take over.
        roundedOnceDiffers += sw.degrees != double(diff) * 180 / d;
    };
    for (int i = 0; i < 1'000'000; ++i) check(anyDiff(rng), anyPeriod(rng));
    // Realistic engine data: phase within a few periods of the period stamp.
    for (int i = 0; i < 1'000'000; ++i) {
        const std::uint32_t d = enginePeriod(rng);
        const std::int32_t span = static_cast<std::int32_t>(2 * d);
        check(std::uniform_int_distribution<std::int32_t>(-span, span)(rng), d);
    }
    for (std::uint32_t d : {1u, 2u, 3u, 7u, 36000u, kStampModulus - 1})
        for (std::int32_t diff : {0, 1, -1, 35999, -35999, (1 << 24) - 1, -(1 << 24) + 1}) check(diff, d);
    EXPECT_GT(overHalfTurn, 100'000u);
    EXPECT_GT(negative, 100'000u);
    // Proves the comparison is sensitive: plain double arithmetic would have failed here.
    EXPECT_GT(directDiffers, 0u);
    EXPECT_GT(roundedOnceDiffers, 0u);
}
