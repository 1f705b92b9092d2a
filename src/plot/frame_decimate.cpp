#include "plot/frame_decimate.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "decoder/extended_math.h"

namespace darvelon::plot {

namespace {

using decoder::kSeriesCount;

struct Column {
    MinMax range;
    std::size_t count = 0;
    double firstX = 0;
    double lastX = 0;
    double firstY = 0;
    void include(double x, double y) {
        if (count++ == 0) {
            firstX = x;
            firstY = y;
        }
        lastX = x;
        range.include(y);
    }
};

class Collect final : public decoder::FrameSink {
public:
    void frame(const decoder::Frame& f) override { frames.push_back(f); }
    std::vector<decoder::Frame> frames;
};

// Appends one column as decimate() draws it: a lone point where it is, otherwise the lowest
// and highest at the column's middle.
void emit(const Column& c, double mid, std::vector<PlotPoint>& out) {
    if (c.count == 0) return;
    if (c.count == 1) {
        out.push_back({c.firstX, c.firstY});
        return;
    }
    const double x = std::clamp(mid, c.firstX, c.lastX);
    out.push_back({x, c.range.min});
    if (c.range.min != c.range.max) out.push_back({x, c.range.max});
}

// Per pixel column and series, the frames' extremes, streamed in x order.
class Columns final : public decoder::FrameSink {
public:
    Columns(double x0, double x1, int columns)
        : m_x0(x0), m_width((x1 - x0) / columns), m_columns(columns), m_cells(std::size_t(columns) * kSeriesCount) {}
    void frame(const decoder::Frame& f) override {
        const double x = f.sample;
        while (m_col + 1 < m_columns && x >= m_x0 + m_width * (m_col + 1)) ++m_col;
        double y;
        for (int s = 0; s < kSeriesCount; ++s)
            if (seriesY(f, s, y)) cell(m_col, s).include(x, y);
    }
    Column& cell(int col, int s) { return m_cells[std::size_t(col) * kSeriesCount + std::size_t(s)]; }
    void emitAll(int s, std::vector<PlotPoint>& out) {
        for (int col = 0; col < m_columns; ++col) emit(cell(col, s), std::floor(m_x0 + m_width * (col + 0.5)), out);
    }

private:
    double m_x0;
    double m_width;
    int m_columns;
    int m_col = 0;
    std::vector<Column> m_cells;
};

// The points of series s among `frames` (in x order), split at the view's ends.
void drawFew(const std::vector<decoder::Frame>& frames, int s, double x0, double x1, int columns,
             std::vector<PlotPoint>& out, Decimation& shape) {
    std::vector<PlotPoint> inside;
    std::optional<PlotPoint> before;
    std::optional<PlotPoint> after;
    double y;
    for (const auto& f : frames) {
        if (!seriesY(f, s, y)) continue;
        const double x = f.sample;
        if (x < x0) before = PlotPoint{x, y};
        else if (x <= x1) inside.push_back({x, y});
        else if (!after) after = PlotPoint{x, y};
    }
    if (before) out.push_back(*before);
    if (double(inside.size()) <= kRawPointsPerColumn * columns) {
        out.insert(out.end(), inside.begin(), inside.end());
        shape = Decimation::Raw;
    } else {
        Columns cols(x0, x1, columns);
        for (const auto& f : frames)
            if (f.sample >= x0 && f.sample <= x1) cols.frame(f);
        cols.emitAll(s, out);
        shape = Decimation::Envelope;
    }
    if (after) out.push_back(*after);
}

}  // namespace

bool seriesY(const decoder::Frame& f, int s, double& y) {
    switch (s) {
    case decoder::kSpeedOddSeries: y = f.speedRpm; return f.oddSpeedSeries;
    case decoder::kSpeedEvenSeries: y = f.speedRpm; return !f.oddSpeedSeries;
    case decoder::kAngleSeries: y = f.angle.times100; return true;
    default: y = f.aux * 10.0; return true;
    }
}

std::array<Decimation, kSeriesCount> decimateFrames(const FrameIndex& index, ByteSource* bytes, double x0, double x1,
                                                    int columns, SeriesPoints& out) {
    std::array<Decimation, kSeriesCount> shapes{};
    for (auto& points : out) points.clear();
    const auto n = std::int64_t(index.frames());
    if (n == 0 || !(x1 >= x0)) return shapes;
    columns = std::max(columns, 1);
    const double s0 = index.firstSample();
    // Frames lo..hi lie in the view (none when lo > hi); a line runs on to its nearest point
    // beyond each end, at most two frames away for a speed series.
    const auto lo = std::int64_t(std::max(0.0, std::ceil(x0 - s0)));
    const auto hi = std::int64_t(std::min(double(n - 1), std::floor(x1 - s0)));
    const std::int64_t frames = std::max<std::int64_t>(0, hi - lo + 1);
    constexpr std::int64_t kBeyond = 3;

    if (double(frames) <= 2 * kRawPointsPerColumn * columns + 2 * kBeyond) {
        Collect few;
        const std::int64_t a = std::clamp<std::int64_t>(std::min(lo, n) - kBeyond, 0, n - 1);
        const std::int64_t b = std::clamp<std::int64_t>(std::max<std::int64_t>(hi, -1) + kBeyond, 0, n - 1);
        index.read(std::size_t(a), std::size_t(b), bytes, few);
        for (int s = 0; s < kSeriesCount; ++s)
            drawFew(few.frames, s, x0, x1, columns, out[std::size_t(s)], shapes[std::size_t(s)]);
        return shapes;
    }

    Collect before;
    Collect after;
    index.read(std::size_t(std::max<std::int64_t>(0, lo - kBeyond)), std::size_t(lo - 1 < 0 ? 0 : lo - 1), bytes,
               before);
    if (lo == 0) before.frames.clear();
    index.read(std::size_t(hi + 1), std::size_t(hi + kBeyond), bytes, after);
    double y;
    for (int s = 0; s < kSeriesCount; ++s) {
        auto& points = out[std::size_t(s)];
        points.reserve(2 * std::size_t(columns) + 2);
        for (auto it = before.frames.rbegin(); it != before.frames.rend(); ++it)
            if (seriesY(*it, s, y)) {
                points.push_back({double(it->sample), y});
                break;
            }
        shapes[std::size_t(s)] = Decimation::Envelope;
    }

    const double width = (x1 - x0) / columns;
    const bool snap = double(frames) >= kSnapBlocksPerColumn * double(FrameIndex::kBlockFrames) * columns;
    if (!snap) {
        Columns cols(x0, x1, columns);
        index.read(std::size_t(lo), std::size_t(hi), bytes, cols);
        for (int s = 0; s < kSeriesCount; ++s) cols.emitAll(s, out[std::size_t(s)]);
    } else {
        // Inner column edges move to the nearest block edge (at most half a block, a small part
        // of a pixel), so all but the two outer columns read block extremes only.
        const auto& blocks = index.blocks();
        constexpr auto kB = std::int64_t(FrameIndex::kBlockFrames);
        std::int64_t a = lo;
        for (int col = 0; col < columns; ++col) {
            std::int64_t b = hi + 1;
            if (col + 1 < columns) {
                const double edge = (x0 + width * (col + 1) - s0) / double(kB);
                b = std::clamp<std::int64_t>(std::int64_t(std::llround(edge)) * kB, a, hi + 1);
            }
            if (b <= a) continue;
            Columns partial(double(a) + s0, double(b - 1) + s0 + 0.5, 1);
            const std::int64_t wholeFrom = (a + kB - 1) / kB;
            const std::int64_t wholeTo = b / kB;  // blocks [wholeFrom, wholeTo) lie inside
            if (wholeFrom >= wholeTo) {
                index.read(std::size_t(a), std::size_t(b - 1), bytes, partial);
            } else {
                if (a < wholeFrom * kB) index.read(std::size_t(a), std::size_t(wholeFrom * kB - 1), bytes, partial);
                if (wholeTo * kB < b) index.read(std::size_t(wholeTo * kB), std::size_t(b - 1), bytes, partial);
                std::uint32_t minTicks[2] = {std::numeric_limits<std::uint32_t>::max(),
                                             std::numeric_limits<std::uint32_t>::max()};
                std::uint32_t maxTicks[2] = {0, 0};
                MinMax angle;
                std::uint8_t minAux = 255;
                std::uint8_t maxAux = 0;
                for (std::int64_t k = wholeFrom; k < wholeTo; ++k) {
                    const FrameIndex::Block& blk = blocks[std::size_t(k)];
                    for (int odd = 0; odd < 2; ++odd) {
                        minTicks[odd] = std::min(minTicks[odd], blk.minTicks[odd]);
                        maxTicks[odd] = std::max(maxTicks[odd], blk.maxTicks[odd]);
                    }
                    angle.min = std::min(angle.min, blk.minAngle);
                    angle.max = std::max(angle.max, blk.maxAngle);
                    minAux = std::min(minAux, blk.minAux);
                    maxAux = std::max(maxAux, blk.maxAux);
                }
                const double firstX = double(wholeFrom * kB) + s0;
                const double lastX = double(wholeTo * kB - 1) + s0;
                const auto wide = [&](int s, double lowY, double highY) {
                    Column& c = partial.cell(0, s);
                    Column whole;
                    whole.count = 2;  // a block summary always stands for many points
                    whole.firstX = firstX;
                    whole.lastX = lastX;
                    whole.range.include(lowY);
                    whole.range.include(highY);
                    if (c.count == 0) {
                        c = whole;
                    } else {
                        c.range.include(whole.range);
                        c.count += whole.count;
                        c.firstX = std::min(c.firstX, firstX);
                        c.lastX = std::max(c.lastX, lastX);
                    }
                };
                for (int odd = 0; odd < 2; ++odd)
                    if (maxTicks[odd] > 0)
                        wide(odd ? decoder::kSpeedOddSeries : decoder::kSpeedEvenSeries,
                             decoder::speedRpm(maxTicks[odd]), decoder::speedRpm(minTicks[odd]));
                wide(decoder::kAngleSeries, angle.min, angle.max);
                wide(decoder::kAuxSeries, minAux * 10.0, maxAux * 10.0);
            }
            const double mid = std::floor(x0 + width * (col + 0.5));
            for (int s = 0; s < kSeriesCount; ++s) emit(partial.cell(0, s), mid, out[std::size_t(s)]);
            a = b;
        }
    }

    for (int s = 0; s < kSeriesCount; ++s)
        for (const auto& f : after.frames)
            if (seriesY(f, s, y)) {
                out[std::size_t(s)].push_back({double(f.sample), y});
                break;
            }
    return shapes;
}

}  // namespace darvelon::plot
