// The chart's tools on decoded frames, checked against what the bytes were made from.
#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <sstream>

#include "decoder/chart_points.h"
#include "decoder/csv_export.h"
#include "decoder/frame_decoder.h"
#include "measure/range_csv.h"
#include "measure/recent_range.h"
#include "measure/series_extents.h"
#include "measure/span_measure.h"
#include "support/engine_pull.h"

namespace darvelon::measure {
namespace {

void decodeInto(plot::ChartModel& model, const test::Bytes& bytes) {
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    decoder.feed(bytes, toggle, static_cast<decoder::FrameSink&>(model));
}

class Pull : public ::testing::Test {
protected:
    void SetUp() override { decodeInto(model, pull.bytes); }
    std::int64_t firstFrameReaching(double rpm) const {
        for (std::int64_t s = 0;; ++s)
            if (model.frameNearest(double(s))->speedRpm >= rpm) return s;
    }
    test::EnginePull pull = test::EnginePull{}.make();
    plot::ChartModel model;
};

// Across the counter's wrap, which the pull crosses a quarter of the way in.
TEST_F(Pull, TimeIsTheSumOfThePeriodsAcrossTheCounterWrap) {
    ASSERT_EQ(model.frames(), pull.ticks.size());
    for (std::size_t s = 0; s < pull.ticks.size(); ++s) ASSERT_EQ(*model.secondsAt(std::int64_t(s)), pull.secondsOf(s));
}

TEST_F(Pull, CursorsMeasureTheClosedFormOfAConstantAcceleration) {
    const std::int64_t a = firstFrameReaching(3500);
    const std::int64_t b = firstFrameReaching(6500);
    const auto span = measureSpan(model, a, b);
    ASSERT_TRUE(span);
    EXPECT_EQ(span->a.sample, a);
    EXPECT_EQ(span->b.sample, b);
    EXPECT_EQ(span->a.seconds, pull.secondsOf(std::size_t(a)));
    EXPECT_DOUBLE_EQ(span->seconds, pull.secondsOf(std::size_t(b)) - pull.secondsOf(std::size_t(a)));
    // v(t) = v0 + a t: a rounded period and a truncated speed are off by under 2 rpm at each end.
    EXPECT_NEAR(span->speedRpm, pull.rpmPerSecond * span->seconds, 4);
    EXPECT_NEAR(span->speedRpm, 3000, 10);
    ASSERT_TRUE(span->rpmPerSecond);
    EXPECT_NEAR(*span->rpmPerSecond, pull.rpmPerSecond, 4 / span->seconds);
    // The angle rises frame by frame: lowest at A, highest at B, the mean halfway.
    EXPECT_EQ(span->frames, std::size_t(b - a + 1));
    EXPECT_NEAR(span->angleMin, pull.angles[std::size_t(a)], 0.05);
    EXPECT_NEAR(span->angleMax, pull.angles[std::size_t(b)], 0.05);
    EXPECT_NEAR(span->angleMean, (pull.angles[std::size_t(a)] + pull.angles[std::size_t(b)]) / 2, 0.05);

    // Backwards, the differences turn sign and the angle is still over the same frames.
    const auto back = measureSpan(model, b, a);
    EXPECT_EQ(back->speedRpm, -span->speedRpm);
    EXPECT_EQ(back->rpmPerSecond, span->rpmPerSecond);
    EXPECT_EQ(back->angleMean, span->angleMean);
    EXPECT_FALSE(measureSpan(model, a, a)->rpmPerSecond);
    EXPECT_FALSE(measureSpan(model, a, std::int64_t(model.frames())));
}

TEST_F(Pull, RecentRangeStartsAtTheFirstFrameWithinTheLastSeconds) {
    const double last = pull.secondsOf(pull.ticks.size() - 1);
    for (const double seconds : {0.01, 0.5, 1.0, 1.99}) {
        const auto [from, to] = recentRange(model, seconds);
        EXPECT_EQ(to, double(pull.ticks.size() - 1));
        const auto s = std::size_t(from);
        ASSERT_EQ(double(s), from);
        EXPECT_GE(pull.secondsOf(s), last - seconds) << seconds;
        EXPECT_LT(pull.secondsOf(s - 1), last - seconds) << seconds;
    }
    EXPECT_EQ(recentRange(model, 60), model.dataXRange());
    EXPECT_EQ(recentRange(plot::ChartModel{}, 60), (std::pair<double, double>{0, 0}));
}

TEST_F(Pull, RangeCsvIsTheDecodeRowsOfTheRangeWithTheirTimes) {
    std::ostringstream decoded;
    decoder::CsvFrameWriter writer(decoded);
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    decoder.feed(pull.bytes, toggle, writer);
    std::istringstream rows(decoded.str());
    std::string expected = decoder::kTimedCsvHeader;
    std::size_t sample = 0;
    for (std::string row; std::getline(rows, row); ++sample) {
        if (sample < 100 || sample > 250) continue;
        char time[32];
        expected += row + ',' + std::string(time, std::to_chars(time, time + 32, pull.secondsOf(sample)).ptr) + '\n';
    }
    std::ostringstream out;
    EXPECT_EQ(exportRangeCsv(model, 99.5, 250.2, out), 151u);
    EXPECT_EQ(out.str(), expected);
}

// The extents of any range and any set of series are those of the points the chart draws,
// while the frames arrive in pieces and after the model starts over. Every series rises frame by
// frame, so a frame too many or too few at either end of a range shows; the auxiliary byte has
// its one peak on the first frame of the second piece.
TEST(SeriesExtents, MatchEveryDrawnPointOfTheRange) {
    test::EnginePull pull;
    pull.rpmPerSecond = 200;
    pull.seconds = 20;
    pull.angleFrom = -30;
    pull.angleTo = 30;
    test::Bytes stream = pull.make().bytes;
    for (std::size_t f = 0; f < stream.size() / 9; ++f) stream[9 * f + 8] = f == 700 ? 255 : f % 200;
    ASSERT_GT(stream.size(), 9u * 3100);
    std::mt19937 random(5);
    struct Brute final : decoder::PlotTarget, decoder::FrameSink {
        void add(int index, std::int32_t, double y, decoder::Rgb) override {
            if (!shown[std::size_t(index)]) return;
            low = std::min(low, y);
            high = std::max(high, y);
        }
        void frame(const decoder::Frame& f) override { decoder::plotFrame(f, *this); }
        SeriesExtents::SeriesMask shown{};
        double low = 1e300;
        double high = -1e300;
    };
    plot::ChartModel model;
    SeriesExtents extents;
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    for (const std::size_t upTo : {std::size_t(9 * 700), stream.size(), std::size_t(9 * 3000)}) {
        if (upTo < stream.size()) {
            model = plot::ChartModel{};
            decoder = {};
        }
        const auto from = std::size_t(decoder.BytesTaken);
        decoder.feed(std::span(stream).subspan(from, upTo - from), toggle, static_cast<decoder::FrameSink&>(model));
        extents.update(model);
        const double last = model.dataXRange().second;
        std::vector<std::pair<double, double>> ranges{{-10, 1e9}, {1024, 2047}, {-1, 0}};
        // At the seams: block edges and where an update took over, a few frames and whole blocks.
        for (const double seam : {699.0, 700.0, 1023.0, 1024.0, 2048.0, 2999.0, 3072.0, last})
            for (const double from : {seam - 2.5, seam - 0.5, seam, seam + 0.5})
                for (const double width : {3.0, 1023.0, 1024.0}) ranges.push_back({from, from + width});
        for (int k = 0; k < 40; ++k) {
            const double a = double(random() % std::uint32_t(last + 40)) - 20 + (k % 2 ? 0.5 : 0);
            ranges.push_back({a, a + double(random() % 3000)});
        }
        for (const auto& [x0, x1] : ranges) {
            for (unsigned mask = 1; mask < 16; ++mask) {
                Brute brute;
                for (std::size_t i = 0; i < 4; ++i) brute.shown[i] = mask >> i & 1;
                model.forEachFrame(x0, x1, brute);
                const auto got = extents.range(model, x0, x1, brute.shown);
                SCOPED_TRACE(testing::Message() << upTo << " [" << x0 << ", " << x1 << "] mask " << mask);
                ASSERT_EQ(got.has_value(), brute.low <= brute.high);
                if (got) {
                    EXPECT_EQ(*got, std::pair(brute.low, brute.high));
                }
            }
        }
    }
}

}  // namespace
}  // namespace darvelon::measure
