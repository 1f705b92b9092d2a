// The curve table held against a direct count: bins found by integer arithmetic on the whole
// speeds, times summed from the periods the stream was built with, never from the decoder.
#include "analysis/curve_table.h"

#include <gtest/gtest.h>

#include <charconv>
#include <limits>
#include <map>
#include <sstream>

#include "analysis/curve_csv.h"
#include "decoder/frame_decoder.h"
#include "support/curve_tables.h"
#include "support/fuzzed_stream.h"

namespace darvelon::analysis {
namespace {

struct Decoded : decoder::FrameSink {
    void frame(const decoder::Frame& f) override { frames.push_back(f); }
    std::vector<decoder::Frame> frames;
    std::vector<double> seconds;  // of each frame, from the periods as built
};

Decoded decodeFuzzed(unsigned seed, std::size_t count) {
    const test::FuzzedStream stream = test::fuzzedStream(seed, count);
    Decoded d;
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    EXPECT_FALSE(decoder.feed(stream.bytes, toggle, d).zeroPeriod);
    EXPECT_EQ(d.frames.size(), stream.periods.size());
    for (std::size_t i = 0; i < d.frames.size(); ++i) EXPECT_EQ(d.frames[i].periodTicks, stream.periods[i]);
    d.seconds = stream.seconds();
    return d;
}

// A bin width as an exact fraction of rpm, so the bin of a whole speed is an integer division.
std::vector<CurveBin> directCount(const Decoded& d, std::int64_t num, std::int64_t den, std::optional<TimeWindow> w) {
    std::map<std::int64_t, CurveBin> bins;
    for (std::size_t i = 0; i < d.frames.size(); ++i) {
        if (w && (d.seconds[i] < w->fromSeconds || d.seconds[i] > w->toSeconds)) continue;
        const auto rpm = std::int64_t(d.frames[i].speedRpm);
        EXPECT_EQ(double(rpm), d.frames[i].speedRpm);
        const std::int64_t k = rpm * den / num;
        const double degrees = d.frames[i].angle.degrees;
        CurveBin& b = bins[k];
        if (b.frames == 0)
            b = {double(k * num) / double(den), double((k + 1) * num) / double(den), 0, 0, degrees, degrees};
        ++b.frames;
        b.meanDeg += degrees;  // the sum until the end
        b.minDeg = std::min(b.minDeg, degrees);
        b.maxDeg = std::max(b.maxDeg, degrees);
    }
    std::vector<CurveBin> out;
    for (auto& [k, b] : bins)
        out.push_back({b.fromRpm, b.toRpm, b.frames, b.meanDeg / double(b.frames), b.minDeg, b.maxDeg});
    return out;
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
    const std::pair<std::int64_t, std::int64_t> widths[] = {{100, 1}, {1, 1}, {7, 1}, {5, 2}, {3, 4}};
    for (const auto& [num, den] : widths) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << num << "/" << den << " rpm, window from " << (c.window ? c.window->fromSeconds : -1));
            CurveTable table(double(num) / double(den), c.window);
            for (const auto& f : d.frames) table.frame(f);
            EXPECT_EQ(table.frames(), c.frames);
            EXPECT_EQ(test::framesIn(table.bins()), c.frames);
            test::expectSameBins(table.bins(), directCount(d, num, den, c.window));
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
    CurveTable table(0.75);
    for (const auto& f : decodeFuzzed(8, 3000).frames) table.frame(f);
    std::ostringstream out;
    writeCurveCsv(table.bins(), out);
    std::istringstream in(out.str());
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line + "\n", kCurveCsvHeader);
    for (const CurveBin& b : table.bins()) {
        ASSERT_TRUE(std::getline(in, line));
        std::vector<double> fields;
        for (const char *at = line.data(), *end = at + line.size(); at <= end; ++at) {
            double value = 0;
            const auto [stop, error] = std::from_chars(at, end, value);
            ASSERT_EQ(error, std::errc{}) << line;
            fields.push_back(value);
            at = stop;  // on the comma, or at the end
        }
        EXPECT_EQ(fields, (std::vector<double>{b.fromRpm, b.toRpm, double(b.frames), b.meanDeg, b.minDeg, b.maxDeg}))
            << line;
    }
    EXPECT_FALSE(std::getline(in, line));
}

}  // namespace
}  // namespace darvelon::analysis
