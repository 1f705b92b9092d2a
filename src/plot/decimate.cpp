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
    out.reserve(4 * std::size_t(columns) + 2);
    appendRaw(store, before, begin, out);
    const double width = (x1 - x0) / columns;
    std::size_t a = begin;
    for (int col = 0; col < columns && a < end; ++col) {
        const std::size_t b =
            col + 1 == columns ? end : std::min(end, store.lowerBound(x0 + width * (col + 1)));
        if (b <= a) continue;
        const PlotPoint first{double(store.x(a)), store.y(a)};
        out.push_back(first);
        if (b - a > 1) {
            const PlotPoint last{double(store.x(b - 1)), store.y(b - 1)};
            if (b - a > 2) {
                const MinMax mm = store.range(a, b);
                const double mid = std::clamp(std::floor(x0 + width * (col + 0.5)), first.x, last.x);
                // Rising columns go down first, falling ones up first, so the strokes into and
                // out of the column stay short.
                if (mm.min == mm.max) {
                    out.push_back({mid, mm.min});
                } else if (last.y >= first.y) {
                    out.push_back({mid, mm.min});
                    out.push_back({mid, mm.max});
                } else {
                    out.push_back({mid, mm.max});
                    out.push_back({mid, mm.min});
                }
            }
            out.push_back(last);
        }
        a = b;
    }
    appendRaw(store, end, after, out);
}

}  // namespace darvelon::plot
