#include "decoder/frame_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decoder/frame_format.h"
#include "decoder/zero_divide.h"
#include "recording_target.h"
#include "support/frames.h"

using namespace darvelon::decoder;
using darvelon::test::Bytes;
using darvelon::test::concat;
using darvelon::test::frame;
using darvelon::test::PlottedPoint;
using darvelon::test::RecordingTarget;

namespace {

struct DecodeRun {
    TFrameDecoder decoder;
    bool toggle = false;
    RecordingTarget target;
    void bytewise(const Bytes& bytes) {
        for (auto b : bytes) decoder.step(b, toggle, target);
    }
};

}  // namespace

TEST(FrameDecoder, TwoFramesPlotSpeedAngleAndAuxAtXZero) {
    DecodeRun run;
    run.bytewise(
        {0xFF, 0xFF, 0x00, 0x8C, 0xA0, 0x00, 0x00, 0x00, 0x05, 0xFF, 0xFF, 0x01, 0x19, 0x40, 0x00, 0x8C, 0xA0, 0x07});
    const std::vector<PlottedPoint> expected = {
        {kSpeedEvenSeries, 0, 999, kBlue}, {kAngleSeries, 0, 18000, kBlack}, {kAuxSeries, 0, 70, kGreen}};
    EXPECT_EQ(run.target.points, expected);
    EXPECT_TRUE(run.toggle);
    EXPECT_EQ(run.decoder.SampleIndex, 1);
    EXPECT_EQ(run.decoder.PrevPeriodStamp, 72000);
}

TEST(FrameDecoder, SpeedAlternatesBetweenBlueAndRedSeries) {
    DecodeRun run;
    Bytes stream;
    for (std::uint32_t i = 0; i < 6; ++i) {
        const Bytes f = frame(i * 7200, i * 7200, std::uint8_t(i));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    run.bytewise(stream);
    ASSERT_EQ(run.target.points.size(), 15u);
    for (std::size_t k = 0; k < 5; ++k) {
        const PlottedPoint& speed = run.target.points[3 * k];
        EXPECT_EQ(speed.x, std::int32_t(k));
        EXPECT_EQ(speed.index, k % 2 ? kSpeedOddSeries : kSpeedEvenSeries);
        EXPECT_EQ(speed.colour, k % 2 ? kRed : kBlue);
        EXPECT_EQ(speed.y, 5000);
        EXPECT_EQ(run.target.points[3 * k + 2].y, (k + 1) * 10.0);
    }
}

// Sync hunting: what precedes a valid FF FF pair must not shift the frame.
struct SyncCase {
    const char* name;
    Bytes prefix;
    friend void PrintTo(const SyncCase& c, std::ostream* os) { *os << c.name; }
};
class SyncHunting : public ::testing::TestWithParam<SyncCase> {};

TEST_P(SyncHunting, FramesAfterTheNoiseDecodeNormally) {
    DecodeRun clean;
    DecodeRun noisy;
    const Bytes body = concat({frame(1000, 900, 1), frame(2000, 1500, 2), frame(3000, 2999, 3)});
    clean.bytewise(body);
    noisy.bytewise(concat({GetParam().prefix, body}));
    EXPECT_EQ(noisy.target.points, clean.target.points);
    EXPECT_EQ(noisy.target.points.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Prefixes, SyncHunting,
                         ::testing::Values(SyncCase{"nothing", {}}, SyncCase{"garbage", {0x01, 0x02, 0x00, 0x7F}},
                                           SyncCase{"lone_ff", {0x00, 0xFF, 0x12}}, SyncCase{"ff_12", {0xFF, 0x12}},
                                           SyncCase{"ff_then_zero", {0xFF, 0x00, 0x00}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameDecoder, InFf12FfFfTheSecondPairSyncs) {
    DecodeRun run;
    run.bytewise(concat({{0xFF, 0x12}, frame(100, 0, 0), frame(200, 0, 0)}));
    ASSERT_EQ(run.target.points.size(), 3u);
    EXPECT_EQ(run.target.points[0].y, 360'000);
}

TEST(FrameDecoder, ThirdFfIsTheHighBytePeriod) {
    DecodeRun run;
    // FF FF FF 00 00 ...: period 0xFF0000.
    run.bytewise({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09});
    EXPECT_EQ(run.decoder.PeriodStamp, double(0xFF0000));
    EXPECT_EQ(run.decoder.AuxByte, 9);
    EXPECT_TRUE(run.decoder.HavePrevFrame);
    EXPECT_TRUE(run.target.points.empty());
}

TEST(FrameDecoder, PeriodWrapsAtTwoToTheTwentyFour) {
    DecodeRun run;
    run.bytewise(concat({frame(16'777'000, 0, 0), frame(200, 200, 0)}));
    ASSERT_EQ(run.target.points.size(), 3u);
    EXPECT_EQ(run.target.points[0].y, 36'000'000 / 416);
    EXPECT_EQ(run.target.points[1].y, 0);
}

TEST(FrameDecoder, AngleHasNoWrapCorrection) {
    DecodeRun run;
    // Phase after the period stamp gives a negative angle; far before it, more than 180.
    run.bytewise(concat({frame(0, 0, 0), frame(36000, 36500, 0), frame(72000, 0, 0)}));
    ASSERT_EQ(run.target.points.size(), 6u);
    EXPECT_EQ(run.target.points[1].y, -250);
    EXPECT_EQ(run.target.points[4].y, 36000);
}

TEST(FrameDecoder, FirstFrameOnlySetsTheReferenceAndPartialFrameIsNeverPlotted) {
    DecodeRun run;
    const Bytes two = concat({frame(1000, 0, 0), frame(2000, 0, 0)});
    for (std::size_t cut = 0; cut < two.size(); ++cut) {
        DecodeRun partial;
        partial.bytewise(Bytes(two.begin(), two.begin() + long(cut)));
        EXPECT_TRUE(partial.target.points.empty()) << "cut at " << cut;
    }
    run.bytewise(two);
    EXPECT_EQ(run.target.points.size(), 3u);
}

TEST(FrameDecoder, ZeroPeriodThrowsPlotsNothingAndDecodingCanGoOn) {
    DecodeRun run;
    run.bytewise(frame(5000, 0, 1));
    const Bytes repeat = frame(5000, 0, 2);
    for (std::size_t i = 0; i + 1 < repeat.size(); ++i) run.decoder.step(repeat[i], run.toggle, run.target);
    try {
        run.decoder.step(repeat.back(), run.toggle, run.target);
        FAIL() << "no exception";
    } catch (const EZeroDivide& e) {
        EXPECT_STREQ(e.what(), "Floating point division by zero");
    }
    EXPECT_TRUE(run.target.points.empty());
    EXPECT_EQ(run.decoder.FrameState, 0);
    EXPECT_FALSE(run.toggle);
    EXPECT_EQ(run.decoder.SampleIndex, 0);
    run.bytewise(frame(6200, 0, 3));
    EXPECT_EQ(run.target.points.size(), 3u);
}

TEST(FrameDecoder, FeedReportsWhereAZeroPeriodFrameEnded) {
    TFrameDecoder decoder;
    bool toggle = false;
    RecordingTarget target;
    const Bytes stream = concat({{0x00}, frame(10, 0, 0), frame(20, 0, 0), frame(20, 0, 0), frame(30, 0, 0)});
    const auto result = decoder.feed(stream, toggle, target);
    EXPECT_TRUE(result.zeroPeriod);
    EXPECT_EQ(result.consumed, 1u + 27u);
    EXPECT_EQ(target.points.size(), 3u);
}

// A stream cut into arbitrary deliveries decodes exactly as in one piece.
TEST(FrameDecoder, SplittingTheStreamAnywhereChangesNothing) {
    std::mt19937 rng(7);
    Bytes stream;
    std::uint32_t stamp = 16'700'000;
    for (int i = 0; i < 300; ++i) {
        stamp = (stamp + 20000 + rng() % 5000) % (1u << 24);
        const Bytes f = frame(stamp, (stamp + rng() % 30000) % (1u << 24), std::uint8_t(rng()));
        stream.insert(stream.end(), f.begin(), f.end());
        if (rng() % 7 == 0) stream.push_back(std::uint8_t(rng()));  // stray byte
    }
    DecodeRun whole;
    whole.decoder.feed(stream, whole.toggle, whole.target);
    DecodeRun pieces;
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 40, stream.size() - pos);
        const auto r = pieces.decoder.feed(std::span(stream).subspan(pos, n), pieces.toggle, pieces.target);
        ASSERT_FALSE(r.zeroPeriod);
        pos += n;
    }
    EXPECT_EQ(pieces.target.points, whole.target.points);
    EXPECT_GT(whole.target.points.size(), 600u);
}

// Each frame as a value: the stamps as sent (every aux value, across the counter's wrap), the
// period, and where its last byte sat in a stream with noise between frames.
TEST(FrameDecoder, FramesCarryTheirStampsPeriodAndWhereTheyEnded) {
    struct Frames : FrameSink {
        void frame(const Frame& f) override { seen.push_back(f); }
        std::vector<Frame> seen;
    } frames;
    std::mt19937 random(3);
    Bytes stream;
    std::vector<std::uint64_t> ends;
    std::uint32_t stamp = kStampModulus - 300'000;
    for (int aux = 0; aux < 256; ++aux) {
        stream.insert(stream.end(), random() % 3, std::uint8_t(random() % 0xFF));  // no sync bytes
        const auto bytes = encodeFrame(stamp, stamp - 1000 * std::uint32_t(aux), std::uint8_t(aux));
        stream.insert(stream.end(), bytes.begin(), bytes.end());
        ends.push_back(stream.size());
        stamp = (stamp + 7000 + std::uint32_t(aux)) % kStampModulus;
    }
    TFrameDecoder decoder;
    bool toggle = true;
    for (std::size_t at = 0; at < stream.size(); at += 100) {  // blocks that split frames
        decoder.feed(std::span(stream).subspan(at, std::min<std::size_t>(100, stream.size() - at)), toggle, frames);
    }
    ASSERT_EQ(frames.seen.size(), 255u);
    std::uint32_t expectedStamp = kStampModulus - 300'000;
    for (std::size_t k = 0; k < frames.seen.size(); ++k) {
        const Frame& f = frames.seen[k];
        const std::uint32_t previous = expectedStamp;
        expectedStamp = (expectedStamp + 7000 + std::uint32_t(k)) % kStampModulus;
        EXPECT_EQ(f.sample, std::int32_t(k));
        EXPECT_EQ(f.periodStamp, expectedStamp);
        EXPECT_EQ(f.phaseStamp, (expectedStamp - 1000 * std::uint32_t(k + 1)) % kStampModulus);
        EXPECT_EQ(f.periodTicks, (expectedStamp + kStampModulus - previous) % kStampModulus);
        EXPECT_EQ(f.aux, k + 1);
        EXPECT_EQ(f.oddSpeedSeries, k % 2 == 0);
        EXPECT_EQ(f.endOffset, ends[k + 1]);
    }
    EXPECT_EQ(decoder.BytesTaken, stream.size());
}
