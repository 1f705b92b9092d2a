// The curve table held against a direct count: bins found by integer arithmetic on the whole
// speeds, times summed from the periods the stream was built with, never from the decoder.
#include "analysis/curve_table.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>

#include "analysis/curve_csv.h"
#include "decoder/frame_decoder.h"
#include "support/fuzzed_stream.h"

namespace darvelon::analysis {
namespace {

struct Collected : decoder::FrameSink {
    void frame(const decoder::Frame& f) override { frames.push_back(f); }
    std::vector<decoder::Frame> frames;
};

struct Decoded {
    std::vector<decoder::Frame> frames;
    std::vector<double> seconds;  // of each frame, from the periods as built
};

Decoded decodeFuzzed(unsigned seed, std::size_t count) {
    const test::FuzzedStream stream = test::fuzzedStream(seed, count);
    Collected collected;
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    // In uneven blocks, so frames straddle the ends of blocks as they do in a log.
    std::span<const std::uint8_t> rest(stream.bytes);
    for (std::size_t block = 1; !rest.empty(); block = block * 3 % 1000 + 1) {
        const auto n = std::min(block, rest.size());
        EXPECT_FALSE(decoder.feed(rest.first(n), toggle, collected).zeroPeriod);
        rest = rest.subspan(n);
    }
    Decoded d{std::move(collected.frames), {}};
    EXPECT_EQ(d.frames.size(), stream.periods.size());
    std::uint64_t ticks = 0;
    for (std::size_t i = 0; i < d.frames.size(); ++i) {
        EXPECT_EQ(d.frames[i].periodTicks, stream.periods[i]);
        if (i > 0) ticks += stream.periods[i];
        d.seconds.push_back(double(ticks) / decoder::kTicksPerSecond);
    }
    return d;
}

// A bin width as an exact fraction of rpm, so the bin of a whole speed is an integer division.
struct Width {
    std::int64_t numerator;
    std::int64_t denominator;
    double rpm() const { return double(numerator) / double(denominator); }
};

struct Direct {
    std::map<std::int64_t, CurveBin> bins;
    std::map<std::int64_t, double> sums;
    std::uint64_t frames = 0;
};

Direct directCount(const Decoded& d, Width width, std::optional<TimeWindow> window) {
    Direct direct;
    for (std::size_t i = 0; i < d.frames.size(); ++i) {
        if (window && (d.seconds[i] < window->fromSeconds || d.seconds[i] > window->toSeconds)) continue;
        const auto rpm = std::int64_t(d.frames[i].speedRpm);
        EXPECT_EQ(double(rpm), d.frames[i].speedRpm);
        const std::int64_t k = rpm * width.denominator / width.numerator;
        const double degrees = d.frames[i].angle.degrees;
        CurveBin& b = direct.bins[k];
        if (b.frames == 0) b = {double(k) * width.rpm(), double(k + 1) * width.rpm(), 0, 0, degrees, degrees};
        ++b.frames;
        b.minDeg = std::min(b.minDeg, degrees);
        b.maxDeg = std::max(b.maxDeg, degrees);
        direct.sums[k] += degrees;
        ++direct.frames;
    }
    for (auto& [k, b] : direct.bins) b.meanDeg = direct.sums[k] / double(b.frames);
    return direct;
}

TEST(CurveTable, BinsAndTimeWindowsMatchADirectCountOnAFuzzedStream) {
    const Decoded d = decodeFuzzed(5, 20000);
    std::size_t wraps = 0;
    for (std::size_t i = 1; i < d.frames.size(); ++i) wraps += d.frames[i].periodStamp < d.frames[i - 1].periodStamp;
    ASSERT_GT(wraps, 100u);

    const std::size_t a = d.frames.size() / 4;
    const std::size_t b = d.frames.size() / 2;
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::optional<TimeWindow> window;
        std::uint64_t frames;  // known from the frame indices alone
    };
    const Case cases[] = {
        {std::nullopt, d.frames.size()},
        {TimeWindow{d.seconds[a], d.seconds[b]}, b - a + 1},  // both edges are frames' times
        {TimeWindow{std::nextafter(d.seconds[a], inf), std::nextafter(d.seconds[b], 0.0)}, b - a - 1},
        {TimeWindow{0, 0}, 1},
        {TimeWindow{d.seconds[b], inf}, d.frames.size() - b},
        {TimeWindow{d.seconds.back() + 1, inf}, 0},
    };
    for (const Width width : {Width{100, 1}, Width{1, 1}, Width{7, 1}, Width{5, 2}, Width{3, 4}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << "bin " << width.rpm() << " rpm, window " << (c.window ? c.window->fromSeconds : -1)
                         << " .. " << (c.window ? c.window->toSeconds : -1));
            CurveTable table(width.rpm(), c.window);
            for (const auto& f : d.frames) table.frame(f);
            const Direct direct = directCount(d, width, c.window);
            ASSERT_EQ(direct.frames, c.frames);
            EXPECT_EQ(table.frames(), c.frames);
            const std::vector<CurveBin> bins = table.bins();
            ASSERT_EQ(bins.size(), direct.bins.size());
            auto expected = direct.bins.begin();
            for (const CurveBin& bin : bins) {
                const CurveBin& e = (expected++)->second;
                EXPECT_EQ(bin.fromRpm, e.fromRpm);
                EXPECT_EQ(bin.toRpm, e.toRpm);
                EXPECT_EQ(bin.frames, e.frames) << bin.fromRpm;
                EXPECT_EQ(bin.minDeg, e.minDeg) << bin.fromRpm;
                EXPECT_EQ(bin.maxDeg, e.maxDeg) << bin.fromRpm;
                EXPECT_NEAR(bin.meanDeg, e.meanDeg, 1e-9 * std::max(1.0, std::abs(e.meanDeg))) << bin.fromRpm;
            }
        }
    }
}

TEST(CurveTable, RefusesABinWidthItCannotBinBy) {
    for (const double width : {0.0, -100.0, 0.0009, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_THROW(CurveTable{width}, std::invalid_argument) << width;
    EXPECT_EQ(CurveTable{kMinBinRpm}.binRpm(), kMinBinRpm);
}

// The CSV is for reading back: every number in it parses to the very double of the table.
TEST(CurveCsv, EveryNumberReadsBackAsTheTableHoldsIt) {
    const Decoded d = decodeFuzzed(8, 3000);
    CurveTable table(0.75);
    for (const auto& f : d.frames) table.frame(f);
    const std::vector<CurveBin> bins = table.bins();
    std::ostringstream out;
    writeCurveCsv(bins, out);

    std::istringstream in(out.str());
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line + "\n", kCurveCsvHeader);
    std::size_t rows = 0;
    for (; std::getline(in, line); ++rows) {
        ASSERT_LT(rows, bins.size());
        std::vector<double> fields;
        for (const char* at = line.data(); at <= line.data() + line.size(); ++at) {
            double value = 0;
            const auto [stop, error] = std::from_chars(at, line.data() + line.size(), value);
            ASSERT_EQ(error, std::errc{}) << line;
            fields.push_back(value);
            at = stop;
        }
        const CurveBin& b = bins[rows];
        const std::vector<double> expected = {b.fromRpm, b.toRpm, double(b.frames), b.meanDeg, b.minDeg, b.maxDeg};
        EXPECT_EQ(fields, expected) << line;
    }
    EXPECT_EQ(rows, bins.size());
}

}  // namespace
}  // namespace darvelon::analysis
