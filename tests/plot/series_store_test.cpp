#include "plot/series_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using darvelon::plot::SeriesStore;

namespace {

struct Reference {
    std::vector<std::int32_t> xs;
    std::vector<double> ys;
};

// Steps of 1 and 2 like the decoder's series, plus gaps wide enough to force new chunks.
void fill(SeriesStore& store, Reference& ref, std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::int32_t x = -100;
    for (std::size_t i = 0; i < n; ++i) {
        const auto r = rng() % 1000;
        x += r == 0 ? 70000 : r < 3 ? 0 : 1 + int(r % 2);
        const double y = std::uniform_real_distribution<double>(-1e6, 1e7)(rng);
        store.append(x, y);
        ref.xs.push_back(x);
        ref.ys.push_back(y);
    }
}

}  // namespace

TEST(SeriesStore, AgreesWithAPlainArrayOnEveryQuery) {
    SeriesStore store;
    Reference ref;
    fill(store, ref, 50'000, 1);
    ASSERT_EQ(store.size(), ref.xs.size());
    for (std::size_t i = 0; i < ref.xs.size(); ++i) {
        ASSERT_EQ(store.x(i), ref.xs[i]) << i;
        ASSERT_EQ(store.y(i), ref.ys[i]) << i;
    }
    EXPECT_EQ(store.maxY(), *std::max_element(ref.ys.begin(), ref.ys.end()));
    EXPECT_EQ(store.minY(), *std::min_element(ref.ys.begin(), ref.ys.end()));
    EXPECT_EQ(store.range(0, store.size()).max, store.maxY());
    EXPECT_EQ(store.range(0, store.size()).min, store.minY());

    std::mt19937 rng(2);
    for (int q = 0; q < 8000; ++q) {
        const double v = std::uniform_real_distribution<double>(ref.xs.front() - 10, ref.xs.back() + 10)(rng);
        ASSERT_EQ(store.lowerBound(v), std::size_t(std::lower_bound(ref.xs.begin(), ref.xs.end(), v) - ref.xs.begin()))
            << v;
        ASSERT_EQ(store.upperBound(v), std::size_t(std::upper_bound(ref.xs.begin(), ref.xs.end(), v) - ref.xs.begin()))
            << v;
        // A forward walk's search from an earlier answer, including from an index past value.
        const std::size_t from = rng() % (ref.xs.size() + 1);
        ASSERT_EQ(store.lowerBound(v, from),
                  std::size_t(std::lower_bound(ref.xs.begin() + long(from), ref.xs.end(), v) - ref.xs.begin()))
            << v << " from " << from;
        std::size_t a = rng() % ref.xs.size();
        std::size_t b = rng() % ref.xs.size();
        if (a > b) std::swap(a, b);
        ++b;
        // Half the ranges short enough to start and end inside one chunk, as a pixel column's do.
        if (q % 2) b = std::min(ref.xs.size(), a + 1 + rng() % 3000);
        const auto mm = store.range(a, b);
        ASSERT_EQ(mm.min, *std::min_element(ref.ys.begin() + long(a), ref.ys.begin() + long(b)));
        ASSERT_EQ(mm.max, *std::max_element(ref.ys.begin() + long(a), ref.ys.begin() + long(b)));
    }

    // The sealed blocks, read side by side, tell the same as the points they cover. Blocks
    // follow one another without gaps, so a block ends where the next begins.
    const auto blocks = store.sealedBlocks();
    ASSERT_GT(blocks.count(), 700u);
    ASSERT_EQ(blocks.start(0), 0u);
    for (std::size_t k = 0; k < blocks.count(); ++k) {
        ASSERT_EQ(blocks.firstX(k), ref.xs[blocks.start(k)]) << k;
        if (k > 0) {
            ASSERT_GT(blocks.start(k), blocks.start(k - 1)) << k;
            ASSERT_LE(blocks.start(k) - blocks.start(k - 1), SeriesStore::kBlockPoints) << k;
        }
    }
    for (int q = 0; q < 4000; ++q) {
        const std::size_t first = rng() % (blocks.count() - 1);
        const std::size_t last =
            std::min(blocks.count() - 1, first + 1 + (q % 2 ? rng() % 40 : rng() % blocks.count()));
        const auto mm = blocks.extremes(first, last);
        const auto a = long(blocks.start(first));
        const auto b = long(blocks.start(last));
        ASSERT_EQ(mm.min, *std::min_element(ref.ys.begin() + a, ref.ys.begin() + b)) << first << ".." << last;
        ASSERT_EQ(mm.max, *std::max_element(ref.ys.begin() + a, ref.ys.begin() + b)) << first << ".." << last;
    }
}

TEST(SeriesStore, EarlierXIsInsertedInOrder) {
    SeriesStore store;
    store.append(10, 1);
    store.append(20, 2);
    store.append(15, 3);
    store.append(20, 4);
    store.append(5, 5);
    const std::vector<std::int32_t> xs = {5, 10, 15, 20, 20};
    const std::vector<double> ys = {5, 1, 3, 2, 4};
    for (std::size_t i = 0; i < xs.size(); ++i) {
        EXPECT_EQ(store.x(i), xs[i]);
        EXPECT_EQ(store.y(i), ys[i]);
    }
}

// A second replay into the same store starts again at a lower x than the first one ended on.
TEST(SeriesStore, ClearForgetsPointsAndExtremes) {
    SeriesStore store;
    Reference before;
    fill(store, before, 10'000, 3);
    store.clear();
    EXPECT_TRUE(store.empty());
    store.append(-200, -3);
    store.append(-199, -4);
    ASSERT_EQ(store.size(), 2u);
    EXPECT_EQ(store.x(0), -200);
    EXPECT_EQ(store.y(1), -4);
    EXPECT_EQ(store.maxY(), -3);
    EXPECT_EQ(store.minY(), -4);
    EXPECT_EQ(store.range(0, 2).max, -3);
    EXPECT_EQ(store.lowerBound(-199.5), 1u);

    Reference after;
    store.clear();
    fill(store, after, 9'000, 4);
    ASSERT_EQ(store.size(), after.xs.size());
    EXPECT_EQ(store.x(8'999), after.xs.back());
    EXPECT_EQ(store.maxY(), *std::max_element(after.ys.begin(), after.ys.end()));
}

TEST(SeriesStore, ExtremeXValuesKeepTheirOrder) {
    SeriesStore store;
    const std::int32_t lo = std::numeric_limits<std::int32_t>::min();
    const std::int32_t hi = std::numeric_limits<std::int32_t>::max();
    store.append(lo, 1);
    store.append(lo + 65535, 2);
    store.append(lo + 65536, 3);
    store.append(hi, 4);
    EXPECT_EQ(store.x(1), lo + 65535);
    EXPECT_EQ(store.x(2), lo + 65536);
    EXPECT_EQ(store.x(3), hi);
    EXPECT_EQ(store.upperBound(double(hi)), 4u);
    EXPECT_EQ(store.lowerBound(double(lo) + 65536), 2u);
}
