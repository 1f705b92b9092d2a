// The simulated device's stream, decoded by the real decoder: it must show the engine its
// profile promises, and inject exactly the faults asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "decoder/frame_decoder.h"
#include "simulator/frame_generator.h"

namespace darvelon::simulator {
namespace {

struct DecodedFrame {
    double rpm;
    double angleDeg;      // as decoded, without wrap correction
    double unwrappedDeg;  // the angle with the counter wrap between the two stamps taken out
    double aux;
    std::uint32_t period;  // ticks
};

// Collects one row per plotted frame, reading the period off the decoder as the CSV export does.
class FrameCollector : public decoder::PlotTarget {
public:
    explicit FrameCollector(const decoder::TFrameDecoder& decoder) : m_decoder(decoder) {}
    void add(int index, std::int32_t, double y, decoder::Rgb) override {
        if (index == decoder::kSpeedOddSeries || index == decoder::kSpeedEvenSeries) {
            auto d = static_cast<std::int64_t>(m_decoder.PeriodStamp - m_decoder.PrevPeriodStamp);
            if (d < 0) d += kStampModulus;
            frames.push_back({y, 0, 0, 0, std::uint32_t(d)});
        } else if (index == decoder::kAngleSeries) {
            auto& f = frames.back();
            f.angleDeg = y / 100;
            // A stamp pair straddling the wrap decodes 2^24 ticks short.
            f.unwrappedDeg = f.angleDeg < 0 ? f.angleDeg + double(kStampModulus) / f.period * 180 : f.angleDeg;
        } else {
            frames.back().aux = y / 10;
        }
    }
    std::vector<DecodedFrame> frames;

private:
    const decoder::TFrameDecoder& m_decoder;
};

struct Decoded {
    std::vector<DecodedFrame> frames;
    int zeroPeriods = 0;
};

// Decodes like a recording does: a zero-period frame is skipped and decoding goes on.
Decoded decode(const std::vector<std::uint8_t>& stream) {
    decoder::TFrameDecoder decoder;
    FrameCollector collector(decoder);
    bool toggle = false;
    Decoded result;
    std::span<const std::uint8_t> rest(stream);
    while (!rest.empty()) {
        const auto step = decoder.feed(rest, toggle, collector);
        result.zeroPeriods += step.zeroPeriod;
        rest = rest.subspan(step.consumed);
    }
    result.frames = std::move(collector.frames);
    return result;
}

StreamSettings settings(Profile profile, std::uint64_t seed, double seconds, std::vector<Glitch> glitches = {}) {
    return {profile, seed, seconds, std::move(glitches)};
}

class ProfileStream : public ::testing::TestWithParam<std::tuple<Profile, std::uint64_t>> {};

TEST_P(ProfileStream, DecodesToTheEngineItsProfilePromises) {
    const auto [profile, seed] = GetParam();
    constexpr double kSeconds = 240;
    const auto stream = generateStream(settings(profile, seed, kSeconds));
    const Decoded decoded = decode(stream);
    const ProfileBounds bounds = boundsOf(profile);

    EXPECT_EQ(decoded.zeroPeriods, 0);
    EXPECT_EQ(stream.size() % 9, 0u);
    ASSERT_GT(decoded.frames.size(), 1000u);
    EXPECT_EQ(decoded.frames.size() + 1, stream.size() / 9);
    double engineSeconds = 0;
    for (std::size_t i = 0; i < decoded.frames.size(); ++i) {
        const DecodedFrame& f = decoded.frames[i];
        SCOPED_TRACE("frame " + std::to_string(i));
        ASSERT_GE(f.rpm, bounds.minRpm);
        ASSERT_LE(f.rpm, bounds.maxRpm);
        ASSERT_GE(f.unwrappedDeg, bounds.minAngleDeg);
        ASSERT_LE(f.unwrappedDeg, bounds.maxAngleDeg);
        // A slow channel: it never jumps between neighbouring frames.
        if (i > 0) {
            ASSERT_LE(std::abs(f.aux - decoded.frames[i - 1].aux), 2);
        }
        engineSeconds += f.period / kTicksPerSecond;
    }
    // The stream covers the time asked for, to within one half revolution.
    EXPECT_NEAR(engineSeconds, kSeconds, 0.04);

    std::vector<double> rpm;
    for (const auto& f : decoded.frames) rpm.push_back(f.rpm);
    const auto [low, high] = std::minmax_element(rpm.begin(), rpm.end());
    const double mean = std::accumulate(rpm.begin(), rpm.end(), 0.0) / double(rpm.size());
    switch (profile) {
    case Profile::Idle: EXPECT_NEAR(mean, 850, 15); break;
    case Profile::Sweep:
        EXPECT_LE(*low, 900);
        EXPECT_GE(*high, 6900);
        break;
    case Profile::Race:
        EXPECT_LE(*low, 3700);
        EXPECT_GE(*high, 6400);
        break;
    }
    // The angle moves with load: not a constant dressed up with noise.
    const auto [angleLow, angleHigh] = std::minmax_element(
        decoded.frames.begin(), decoded.frames.end(),
        [](const DecodedFrame& a, const DecodedFrame& b) { return a.unwrappedDeg < b.unwrappedDeg; });
    EXPECT_GT(angleHigh->unwrappedDeg - angleLow->unwrappedDeg, profile == Profile::Idle ? 2.0 : 10.0);
}

INSTANTIATE_TEST_SUITE_P(AllProfiles, ProfileStream,
                         ::testing::Combine(::testing::Values(Profile::Idle, Profile::Sweep, Profile::Race),
                                            ::testing::Values(1u, 4242u)),
                         [](const auto& info) {
                             return std::string(nameOf(std::get<0>(info.param))) + "Seed" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(FrameGenerator, TheStreamIsAFunctionOfItsSettings) {
    const auto first = generateStream(settings(Profile::Race, 7, 30));
    EXPECT_EQ(first, generateStream(settings(Profile::Race, 7, 30)));
    EXPECT_NE(first, generateStream(settings(Profile::Race, 8, 30)));
    EXPECT_NE(first, generateStream(settings(Profile::Sweep, 7, 30)));
    // A longer run starts with the same bytes: length only cuts it.
    const auto longer = generateStream(settings(Profile::Race, 7, 60));
    ASSERT_GT(longer.size(), first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), longer.begin()));
}

TEST(FrameGenerator, CounterWrapsEveryFourteenSecondsAndStampsFollowIt) {
    // 2^24 ticks at 1.2 MHz: a 60 s stream holds four wraps, and every one must decode as an
    // ordinary period, never as a jump.
    const Decoded decoded = decode(generateStream(settings(Profile::Idle, 3, 60)));
    for (const auto& f : decoded.frames) {
        ASSERT_GT(f.period, 36e6 / 920);
        ASSERT_LT(f.period, 36e6 / 780);
    }
}

TEST(FrameGenerator, GarbageAddsStrayBytesButLeavesTheFramesAlone) {
    const auto clean = generateStream(settings(Profile::Sweep, 5, 60));
    const auto noisy = generateStream(settings(Profile::Sweep, 5, 60, {Glitch::Garbage}));
    // About one burst of 1 to 6 bytes every 0.4 s.
    EXPECT_GT(noisy.size(), clean.size() + 60);
    EXPECT_LT(noisy.size(), clean.size() + 6 * 300);
    const auto a = decode(clean).frames;
    const auto b = decode(noisy).frames;
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].rpm, b[i].rpm) << i;
        ASSERT_EQ(a[i].angleDeg, b[i].angleDeg) << i;
        ASSERT_EQ(a[i].aux, b[i].aux) << i;
    }
}

TEST(FrameGenerator, ZeroPeriodSendsOneFrameTwiceAThirdIntoTheStream) {
    const auto clean = generateStream(settings(Profile::Idle, 2, 30));
    const auto faulty = generateStream(settings(Profile::Idle, 2, 30, {Glitch::ZeroPeriod}));
    EXPECT_EQ(faulty.size(), clean.size() + 9);
    const Decoded decoded = decode(faulty);
    EXPECT_EQ(decoded.zeroPeriods, 1);
    // The repeat sits where the engine reached 10 s. The first difference is its third byte:
    // its sync pair looks like the next frame's.
    const auto differs = std::mismatch(clean.begin(), clean.end(), faulty.begin()).first - clean.begin();
    ASSERT_EQ(differs % 9, 2);
    const auto split = differs - 2;
    ASSERT_GE(split, 9);
    EXPECT_TRUE(std::equal(faulty.begin() + split - 9, faulty.begin() + split, faulty.begin() + split));
    double seconds = 0;
    for (std::size_t i = 0; i + 1 < std::size_t(split / 9); ++i) seconds += decoded.frames[i].period / kTicksPerSecond;
    EXPECT_NEAR(seconds, 10, 0.1);
    // After it the stream goes on as before.
    EXPECT_EQ(decoded.frames.size(), decode(clean).frames.size());
}

TEST(FrameGenerator, HangUpCutsTheStreamMidFrameTwoThirdsIn) {
    const auto full = generateStream(settings(Profile::Sweep, 4, 30));
    FrameGenerator generator(settings(Profile::Sweep, 4, 30, {Glitch::HangUp}));
    std::vector<std::uint8_t> cut;
    std::optional<double> last;
    while (const auto t = generator.appendNext(cut)) last = t;
    EXPECT_TRUE(generator.hungUp());
    ASSERT_TRUE(last);
    EXPECT_NEAR(*last, 20, 0.05);
    EXPECT_EQ(cut.size() % 9, 4u);
    ASSERT_LT(cut.size(), full.size());
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), full.begin()));
    EXPECT_FALSE(FrameGenerator(settings(Profile::Sweep, 4, 30)).hungUp());
}

TEST(FrameGenerator, EndlessStreamKeepsGoingAndRefusesToBeGeneratedWhole) {
    StreamSettings endless{Profile::Race, 1, std::nullopt, {Glitch::ZeroPeriod}};
    FrameGenerator generator(endless);
    std::vector<std::uint8_t> bytes;
    double t = 0;
    while (t < 100) t = generator.appendNext(bytes).value();
    EXPECT_EQ(decode(bytes).zeroPeriods, 1);  // at 3 s, as for any endless run
    EXPECT_THROW(generateStream(endless), std::invalid_argument);
}

}  // namespace
}  // namespace darvelon::simulator
