#include "plot/decimate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace darvelon::plot;

namespace {

SeriesStore noisy(std::size_t n, std::int32_t step, std::uint32_t seed) {
    SeriesStore s;
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < n; ++i) s.append(std::int32_t(i) * step, double(rng() % 10000));
    return s;
}

}  // namespace

TEST(Decimate, FewPointsAreDrawnRawWithOneNeighbourBeyondEachEdge) {
    SeriesStore s = noisy(100, 1, 3);
    std::vector<PlotPoint> out;
    EXPECT_EQ(decimate(s, 10, 20, 800, out), Decimation::Raw);
    ASSERT_EQ(out.size(), 13u);
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].x, double(9 + i));
        EXPECT_EQ(out[i].y, s.y(9 + i));
    }
    decimate(s, 0, 99, 800, out);
    EXPECT_EQ(out.size(), 100u);
}

// Every pixel column must show the extremes of the points that fall into it. From 8 blocks a
// column on, its edges may move by up to half a block: the drawn extremes then belong to the
// column widened by that much and cover at least the column narrowed by it.
TEST(Decimate, EachColumnKeepsItsTrueMinimumAndMaximum) {
    for (const auto& [step, columns] : {std::pair{1, 761}, std::pair{2, 2503}}) {
        SeriesStore s = noisy(1'000'000, step, 4);
        const double x0 = 1234.5;
        const double x1 = 1'000'000.0 * step - 77;
        std::vector<PlotPoint> out;
        ASSERT_EQ(decimate(s, x0, x1, columns, out), Decimation::Envelope);
        ASSERT_LE(out.size(), 2u * columns + 2);
        ASSERT_TRUE(
            std::is_sorted(out.begin(), out.end(), [](const PlotPoint& a, const PlotPoint& b) { return a.x < b.x; }));
        const double width = (x1 - x0) / columns;
        const bool snapped = width / step >= kSnapBlocksPerColumn * SeriesStore::kBlockPoints;
        EXPECT_EQ(snapped, columns == 761);  // both kinds of column are checked
        const std::size_t slack = snapped ? SeriesStore::kBlockPoints / 2 : 0;
        for (int col = 0; col < columns; col += 5) {
            const double lo = x0 + width * col;
            const double hi = x0 + width * (col + 1);
            const std::size_t a = s.lowerBound(lo);
            const std::size_t b = s.lowerBound(hi);
            // The outermost edges stay where the view puts them.
            const std::size_t wideA = col == 0 ? a : a - slack;
            const std::size_t wideB = col + 1 == columns ? b : b + slack;
            const std::size_t narrowA = col == 0 ? a : a + slack;
            const std::size_t narrowB = col + 1 == columns ? b : b - slack;
            const MinMax wide = s.range(wideA, wideB);
            const MinMax narrow = s.range(narrowA, narrowB);
            MinMax drawn;
            for (const auto& p : out)
                if (p.x >= std::ceil(lo) && p.x < hi) drawn.include(p.y);
            EXPECT_LE(drawn.min, narrow.min) << "column " << col;
            EXPECT_GE(drawn.max, narrow.max) << "column " << col;
            EXPECT_GE(drawn.min, wide.min) << "column " << col;
            EXPECT_LE(drawn.max, wide.max) << "column " << col;
        }
    }
}

TEST(Decimate, ASingleSpikeAmongMillionsStaysVisible) {
    SeriesStore s;
    for (std::int32_t i = 0; i < 2'000'000; ++i) s.append(i, i == 1'234'567 ? 9e6 : 1000);
    std::vector<PlotPoint> out;
    decimate(s, 0, 1'999'999, 500, out);
    EXPECT_LT(out.size(), 2002u);
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](const PlotPoint& p) { return p.y == 9e6; }), 1);
}

TEST(Decimate, EmptyOrInvertedRangesDrawNothingButAnOutsideRangeKeepsItsNeighbours) {
    SeriesStore s = noisy(10, 1, 5);
    std::vector<PlotPoint> out{{1, 1}};
    decimate(SeriesStore{}, 0, 10, 100, out);
    EXPECT_TRUE(out.empty());
    decimate(s, 5, 4, 100, out);
    EXPECT_TRUE(out.empty());
    decimate(s, 20, 30, 100, out);  // beyond the data: only the last point, for the line's end
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].x, 9);
}
