#include "decimate.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace darvelon::plot {

namespace {

void appendRaw(const SeriesStore& s, std::size_t begin, std::size_t end, std::vector<PlotPoint>& out) {
    for (std::size_t i = begin; i < end; ++i) out.push_back({double(s.x(i)), s.y(i)});
}

}  // namespace

Decimation decimate(const SeriesStore& store, double x0, double x1, int columns, std::vector<PlotPoint>& out) {
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
    // Once a column spans many blocks, its edges move to the nearest block edge: the blocks
    // between edges are then summed from their summaries alone, side by side in memory, and
    // neither the points nor their x values are read. An edge moves by at most half a block,
    // a small part of a pixel, which changes nothing the eye could see.
    const bool snap = double(end - begin) >= kSnapBlocksPerColumn * double(SeriesStore::kBlockPoints) * columns;
    const SeriesStore::SealedBlocks blocks = store.sealedBlocks();
    const std::size_t sealed = snap ? blocks.count() : 0;
    // g: the first sealed block at or after the walk; span: blocks in the last column, the
    // best guess for the next.
    std::size_t g = 0;
    for (std::size_t hi = sealed; g < hi;) {
        const std::size_t mid = g + (hi - g) / 2;
        if (blocks.start(mid) < begin) g = mid + 1;
        else hi = mid;
    }
    std::size_t span = 1;
    // The block that starts at a, when a is a sealed block's first point.
    std::optional<std::size_t> aBlock;
    if (g < sealed && blocks.start(g) == begin) aBlock = g;
    std::size_t a = begin;
    for (int col = 0; col < columns && a < end; ++col) {
        const double edgeX = x0 + width * (col + 1);
        std::size_t b = end;
        std::optional<std::size_t> bBlock;
        if (col + 1 < columns) {
            // The first block whose first x reaches the edge, found from a guess one column on.
            const auto shortOfEdge = [&](std::size_t k) { return double(blocks.firstX(k)) < edgeX; };
            std::size_t k = std::min(g + span, sealed);
            while (k < sealed && shortOfEdge(k)) ++k;
            while (k > g && !shortOfEdge(k - 1)) --k;
            span = std::max<std::size_t>(1, k - g);
            g = k;
            if (g < sealed && g > 0 && blocks.start(g - 1) >= a) {
                // Whichever of the two block edges around the column's edge lies nearer in x.
                const std::size_t e = edgeX - blocks.firstX(g - 1) < blocks.firstX(g) - edgeX ? g - 1 : g;
                if (blocks.start(e) <= end) {
                    b = blocks.start(e);
                    bBlock = e;
                }
            } else {
                b = std::min(end, store.lowerBound(edgeX, a));
            }
        }
        if (b <= a) continue;
        if (!snap) {
            // The next edge lies about one column's worth of points further on.
            store.prefetch(b + (b - a));
        }
        if (b - a == 1) {
            out.push_back({double(store.x(a)), store.y(a)});
        } else {
            // Two points a column, its lowest and highest, at the column's middle: drawn as a
            // band between the columns' lows and highs, they cover every point in between.
            const MinMax mm = aBlock && bBlock ? blocks.extremes(*aBlock, *bBlock) : store.range(a, b);
            const double firstX = aBlock ? double(blocks.firstX(*aBlock)) : double(store.x(a));
            const double lastX = bBlock ? std::max(firstX, double(blocks.firstX(*bBlock)) - 1) : double(store.x(b - 1));
            const double mid = std::clamp(std::floor(x0 + width * (col + 0.5)), firstX, lastX);
            out.push_back({mid, mm.min});
            if (mm.min != mm.max) out.push_back({mid, mm.max});
        }
        a = b;
        aBlock = bBlock;
    }
    appendRaw(store, end, after, out);
    return Decimation::Envelope;
}

}  // namespace darvelon::plot
