#include "decimate.h"

#include <algorithm>
#include <cmath>

namespace darvelon::plot {

namespace {

void appendRaw(const SeriesStore& s, std::size_t begin, std::size_t end, std::vector<PlotPoint>& out) {
    for (std::size_t i = begin; i < end; ++i) out.push_back({double(s.x(i)), s.y(i)});
}

}  // namespace

void decimate(const SeriesStore& store, double x0, double x1, int columns,
              std::vector<PlotPoint>& out) {
    out.clear();
    if (store.empty() || !(x1 >= x0)) return;
    columns = std::max(columns, 1);
    const std::size_t begin = store.lowerBound(x0);
    const std::size_t end = store.upperBound(x1);
    const std::size_t before = begin > 0 ? begin - 1 : begin;
    const std::size_t after = end < store.size() ? end + 1 : end;
    if (double(end - begin) <= kRawPointsPerColumn * columns) {
        appendRaw(store, before, after, out);
        return;
    }
    out.reserve(2 * std::size_t(columns) + 2);
    appendRaw(store, before, begin, out);
    const double width = (x1 - x0) / columns;
    std::size_t a = begin;
    for (int col = 0; col < columns && a < end; ++col) {
        const std::size_t b =
            col + 1 == columns ? end : std::min(end, store.lowerBound(x0 + width * (col + 1), a));
        if (b <= a) continue;
        // The next boundary lies about one column's worth of points further on.
        store.prefetch(b + (b - a));
        if (b - a == 1) {
            out.push_back({double(store.x(a)), store.y(a)});
        } else {
            // Two points a column, its lowest and highest, at the column's middle: the vertical
            // stroke between them covers every point in the column, and the strokes to the
            // neighbours cover the steps between columns.
            const MinMax mm = store.range(a, b);
            const double mid = std::clamp(std::floor(x0 + width * (col + 0.5)), double(store.x(a)),
                                          double(store.x(b - 1)));
            const bool rising = store.y(b - 1) >= store.y(a);
            out.push_back({mid, rising ? mm.min : mm.max});
            if (mm.min != mm.max) out.push_back({mid, rising ? mm.max : mm.min});
        }
        a = b;
    }
    appendRaw(store, end, after, out);
}

}  // namespace darvelon::plot
