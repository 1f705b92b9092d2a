#include "decimate.h"

#include <algorithm>
#include <cmath>

namespace darvelon::plot {

namespace {

void appendRaw(const SeriesStore& s, std::size_t begin, std::size_t end, std::vector<PlotPoint>& out) {
    for (std::size_t i = begin; i < end; ++i) out.push_back({double(s.x(i)), s.y(i)});
}

}  // namespace

Decimation decimate(const SeriesStore& store, double x0, double x1, int columns,
                    std::vector<PlotPoint>& out) {
    out.clear();
    if (store.empty() || !(x1 >= x0)) return Decimation::Raw;
    columns = std::max(columns, 1);
    const std::size_t begin = store.lowerBound(x0);
    const std::size_t end = store.upperBound(x1);
    const std::size_t before = begin > 0 ? begin - 1 : begin;
    const std::size_t after = end < store.size() ? end + 1 : end;
    if (double(end - begin) <= kRawPointsPerColumn * columns) {
        appendRaw(store, before, after, out);
        return Decimation::Raw;
    }
    out.reserve(2 * std::size_t(columns) + 2);
    appendRaw(store, before, begin, out);
    const double width = (x1 - x0) / columns;
    const bool snap = double(end - begin) >= kSnapBlocksPerColumn * double(SeriesStore::kBlockPoints) * columns;
    std::size_t a = begin;
    for (int col = 0; col < columns && a < end; ++col) {
        std::size_t b = col + 1 == columns ? end : std::min(end, store.lowerBound(x0 + width * (col + 1), a));
        // Summing whole blocks reads their summaries only; the points of a block cut by the
        // edge would cost a trip to memory each column. Moving the edge by at most half a
        // block, a small part of a pixel, changes nothing the eye could see.
        if (snap && b < end) b = std::clamp(store.nearestBlockEdge(b), a, end);
        if (b <= a) continue;
        // The next boundary lies about one column's worth of points further on.
        store.prefetch(b + (b - a), snap ? SeriesStore::Prefetch::Summaries : SeriesStore::Prefetch::SummariesAndPoints);
        if (b - a == 1) {
            out.push_back({double(store.x(a)), store.y(a)});
        } else {
            // Two points a column, its lowest and highest, at the column's middle: drawn as a
            // band between the columns' lows and highs, they cover every point in between.
            const MinMax mm = store.range(a, b);
            const double mid = std::clamp(std::floor(x0 + width * (col + 0.5)), double(store.x(a)),
                                          double(store.x(b - 1)));
            out.push_back({mid, mm.min});
            if (mm.min != mm.max) out.push_back({mid, mm.max});
        }
        a = b;
    }
    appendRaw(store, end, after, out);
    return Decimation::Envelope;
}

}  // namespace darvelon::plot
