// The chart's data without a widget: every frame it was handed can be read back exactly.
#include "plot/chart_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "decoder/frame_decoder.h"
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
    EXPECT_EQ(model.store(decoder::kSpeedOddSeries).size() + model.store(decoder::kSpeedEvenSeries).size(),
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
