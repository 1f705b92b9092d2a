// The chart's data without a widget: every frame it was handed can be read back exactly.
#include "plot/chart_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "decoder/chart_points.h"
#include "decoder/frame_decoder.h"
#include "plot/decimate.h"
#include "support/frames.h"

namespace darvelon::plot {
namespace {

TEST(ChartModel, ReadsBackEveryFrameExactlyAndKeepsTheChartsRanges) {
    struct Frames : decoder::FrameSink {
        void frame(const decoder::Frame& f) override { seen.push_back(f); }
        std::vector<decoder::Frame> seen;
    } frames;
    // Any stamps and aux values, with stray bytes: angles of either sign, all periods' sizes.
    std::mt19937 random(11);
    test::Bytes stream;
    for (int i = 0; i < 5000; ++i) {
        if (random() % 4 == 0) stream.push_back(std::uint8_t(random()));
        const auto f =
            test::frame(random() % decoder::kStampModulus, random() % decoder::kStampModulus, std::uint8_t(random()));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    ChartModel model;
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    bool toggleCopy = false;
    decoder::TFrameDecoder copy;
    std::span<const std::uint8_t> rest(stream);
    while (!rest.empty())
        rest = rest.subspan(decoder.feed(rest, toggle, static_cast<decoder::FrameSink&>(model)).consumed);
    rest = stream;
    while (!rest.empty()) rest = rest.subspan(copy.feed(rest, toggleCopy, frames).consumed);
    ASSERT_GT(frames.seen.size(), 4000u);
    ASSERT_EQ(model.frames(), frames.seen.size());
    double maxY = 0;
    for (const auto& f : frames.seen) {
        const auto back = model.frameNearest(f.sample + 0.25);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->sample, f.sample);
        EXPECT_EQ(back->periodTicks, f.periodTicks);
        EXPECT_EQ(std::memcmp(&back->speedRpm, &f.speedRpm, sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(&back->angle.degrees, &f.angle.degrees, sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(&back->angle.times100, &f.angle.times100, sizeof(double)), 0);
        EXPECT_EQ(back->aux, f.aux);
        EXPECT_EQ(back->oddSpeedSeries, f.oddSpeedSeries);
        maxY = std::max({maxY, f.speedRpm, f.angle.times100, f.aux * 10.0});
    }
    EXPECT_EQ(model.maxY(), maxY);
    EXPECT_EQ(model.dataXRange(), (std::pair<double, double>{0, double(frames.seen.back().sample)}));
    EXPECT_EQ(model.points(decoder::kSpeedOddSeries).size() + model.points(decoder::kSpeedEvenSeries).size(),
              frames.seen.size());

    // Time is the running sum of the periods after the first frame; any range reads back whole.
    std::uint64_t ticks = 0;
    for (std::size_t i = 0; i < frames.seen.size(); ++i) {
        if (i > 0) ticks += frames.seen[i].periodTicks;
        ASSERT_EQ(model.secondsAt(frames.seen[i].sample), double(ticks) / 1.2e6) << i;
    }
    EXPECT_FALSE(model.secondsAt(frames.seen.back().sample + 1));
    Frames range;
    model.forEachFrame(1000.5, 3071, range);
    ASSERT_EQ(range.seen.size(), 2071u);
    EXPECT_EQ(range.seen.front().sample, 1001);
    EXPECT_EQ(range.seen.back().periodTicks, frames.seen[3071].periodTicks);
    model.clear(decoder::kAngleSeries);
    EXPECT_FALSE(model.frameNearest(0));
}

}  // namespace
}  // namespace darvelon::plot

namespace darvelon::plot {
namespace {

class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(const test::Bytes& bytes) : m_bytes(bytes) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (offset >= m_bytes.size()) return 0;
        const std::size_t n = std::min(out.size(), std::size_t(m_bytes.size() - offset));
        std::memcpy(out.data(), m_bytes.data() + offset, n);
        return n;
    }

private:
    const test::Bytes& m_bytes;
};

bool sameBits(const std::vector<PlotPoint>& a, const std::vector<PlotPoint>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(PlotPoint)) == 0);
}

// The model over a live log (stray bytes, counter wraps, zero periods skipped as a recording
// skips them) against the points a plain decode stores: a narrow view is the same points to the
// bit, a middling one the same envelope, and a wide one, drawn from block extremes, never shows
// a value the data lacks nor misses the range's lowest or highest.
TEST(ChartModel, ALogBackedModelDrawsWhatThePlainPointsShow) {
    std::mt19937 random(5);
    test::Bytes log;
    std::uint32_t stamp = 0;
    for (int i = 0; i < 200'000; ++i) {
        if (random() % 64 == 0) log.push_back(std::uint8_t(random()));
        if (random() % 5000 != 0) stamp = (stamp + 1 + random() % 60'000) % decoder::kStampModulus;
        const auto f = test::frame(stamp, random() % decoder::kStampModulus, std::uint8_t(random()));
        log.insert(log.end(), f.begin(), f.end());
    }
    bool toggle = true;
    decoder::TFrameDecoder decoder;
    ChartModel model;
    model.startFrames(decoder, toggle, std::make_unique<MemoryBytes>(log));
    std::array<SeriesStore, decoder::kSeriesCount> stores;
    struct Stores final : decoder::PlotTarget {
        std::array<SeriesStore, decoder::kSeriesCount>* stores;
        void add(int index, std::int32_t x, double y, decoder::Rgb) override {
            (*stores)[std::size_t(index)].append(x, y);
        }
    } plain;
    plain.stores = &stores;
    struct Both final : decoder::FrameSink {
        ChartModel* model;
        decoder::ChartPoints* points;
        std::vector<decoder::Frame> seen;
        void frame(const decoder::Frame& f) override {
            model->frame(f);
            points->frame(f);
            seen.push_back(f);
        }
    } both;
    decoder::ChartPoints points(plain);
    both.model = &model;
    both.points = &points;
    for (std::span<const std::uint8_t> rest(log); !rest.empty();)
        rest = rest.subspan(decoder.feed(rest, toggle, both).consumed);
    const std::size_t n = both.seen.size();
    ASSERT_GT(n, 190'000u);
    ASSERT_EQ(model.frames(), n);

    SeriesPoints drawn;
    std::vector<PlotPoint> expected;
    int raw = 0, middling = 0, wide = 0;
    for (int round = 0; round < 300; ++round) {
        const double span = std::pow(10.0, 1 + double(random() % 5000) / 1000);  // 10 .. 1e6 frames
        const double x0 = double(random() % (n + 2000)) - 1000.0 - span / 2 + double(random() % 100) / 100;
        const double x1 = x0 + span;
        const int columns = 5 + int(random() % 1200);
        const auto shapes = model.lines(x0, x1, columns, drawn);
        const bool snapped = x1 - x0 >= kFrameSnapBlocksPerColumn * double(FrameIndex::blockFrames(0)) * columns - 2;
        for (int s = 0; s < decoder::kSeriesCount; ++s) {
            const auto shape = decimate(stores[std::size_t(s)], x0, x1, columns, expected);
            const auto& got = drawn[std::size_t(s)];
            if (shape == Decimation::Raw || !snapped) {
                ASSERT_EQ(shapes[std::size_t(s)], shape) << round << " " << s;
                ASSERT_TRUE(sameBits(got, expected)) << round << " " << s << " " << x0 << ".." << x1;
                (shape == Decimation::Raw ? raw : middling) += 1;
                continue;
            }
            ++wide;
            const SeriesStore& store = stores[std::size_t(s)];
            std::vector<double> ys;
            const std::size_t a = store.lowerBound(x0), b = store.upperBound(x1);
            for (std::size_t i = a > 0 ? a - 1 : a; i < std::min(b + 1, store.size()); ++i) ys.push_back(store.y(i));
            const auto [lo, hi] = std::minmax_element(ys.begin(), ys.end());
            MinMax shown;
            for (const auto& p : got) {
                shown.include(p.y);
                ASSERT_NE(std::find(ys.begin(), ys.end(), p.y), ys.end()) << round << " " << s << " y " << p.y;
            }
            ASSERT_EQ(shown.min, *lo) << round << " " << s;
            ASSERT_EQ(shown.max, *hi) << round << " " << s;
        }
    }
    EXPECT_GT(raw, 50);
    EXPECT_GT(middling, 50);
    EXPECT_GT(wide, 50);

    // Frames, times and the nearest frame read back from the log as the decoder made them.
    for (std::size_t i = 0; i < n; i += 1 + random() % 3000) {
        const auto f = model.frameNearest(double(i) + 0.3);
        ASSERT_TRUE(f);
        ASSERT_EQ(f->endOffset, both.seen[i].endOffset);
        ASSERT_EQ(f->periodStamp, both.seen[i].periodStamp);
    }
    std::vector<std::uint64_t> sums(n);
    for (std::size_t i = 1; i < n; ++i) sums[i] = sums[i - 1] + both.seen[i].periodTicks;
    for (std::size_t i = 0; i < n; i += 1 + random() % 2000)
        ASSERT_EQ(model.secondsAt(std::int64_t(i)), double(sums[i]) / 1.2e6) << i;
}

}  // namespace
}  // namespace darvelon::plot
