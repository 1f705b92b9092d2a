#include "plot/frame_decimate.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
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

// The extremes of frames [a, b) from the coarsest blocks that fit, the ragged ends from finer
// ones, and the last few frames decoded.
class Extremes {
public:
    // `decoded`: frames already decoded (the view's two ends), taken from there when they cover
    // what is asked.
    Extremes(const FrameIndex& index, ByteSource* bytes, double s0,
             std::initializer_list<const std::vector<decoder::Frame>*> decoded)
        : m_index(index), m_bytes(bytes), m_s0(s0), m_frames(s0, s0 + 1, 1), m_decoded(decoded) {}

    void add(int level, std::int64_t a, std::int64_t b) {
        if (b <= a) return;
        if (level < 0) {
            for (const auto* frames : m_decoded) {
                if (frames->empty() || indexOf(frames->front()) > a || indexOf(frames->back()) < b - 1) continue;
                for (const auto& f : *frames)
                    if (indexOf(f) >= a && indexOf(f) < b) m_frames.frame(f);
                return;
            }
            m_index.read(std::size_t(a), std::size_t(b - 1), m_bytes, m_frames);
            return;
        }
        const auto size = std::int64_t(FrameIndex::blockFrames(level));
        const std::int64_t from = (a + size - 1) / size;
        const std::int64_t to = b / size;  // blocks [from, to) lie inside
        if (from >= to) return add(level - 1, a, b);
        add(level - 1, a, from * size);
        add(level - 1, to * size, b);
        const auto& blocks = m_index.blocks(level);
        for (std::int64_t k = from; k < to; ++k) m_blocks.include(blocks[std::size_t(k)]);
        m_firstX = std::min(m_firstX, double(from * size) + m_s0);
        m_lastX = std::max(m_lastX, double(to * size - 1) + m_s0);
        m_any = true;
    }

    std::int64_t indexOf(const decoder::Frame& f) const { return std::int64_t(f.sample) - std::int64_t(m_s0); }

    // Series s's column: the decoded frames' and the blocks' together.
    Column column(int s) {
        Column c = m_frames.cell(0, s);
        if (!m_any) return c;
        double low;
        double high;
        switch (s) {
        case decoder::kSpeedOddSeries:
        case decoder::kSpeedEvenSeries: {
            const int odd = s == decoder::kSpeedOddSeries;
            if (m_blocks.maxTicks[odd] == 0) return c;
            low = decoder::speedRpm(m_blocks.maxTicks[odd]);
            high = decoder::speedRpm(m_blocks.minTicks[odd]);
            break;
        }
        case decoder::kAngleSeries:
            low = m_blocks.minAngle;
            high = m_blocks.maxAngle;
            break;
        default: low = m_blocks.minAux * 10.0; high = m_blocks.maxAux * 10.0;
        }
        // A block always stands for many points, so the column is drawn as a range.
        c.firstX = c.count ? std::min(c.firstX, m_firstX) : m_firstX;
        c.lastX = c.count ? std::max(c.lastX, m_lastX) : m_lastX;
        c.count += 2;
        c.range.include(low);
        c.range.include(high);
        return c;
    }

private:
    const FrameIndex& m_index;
    ByteSource* m_bytes;
    double m_s0;
    Columns m_frames;
    std::vector<const std::vector<decoder::Frame>*> m_decoded;
    FrameIndex::Block m_blocks;
    double m_firstX = std::numeric_limits<double>::infinity();
    double m_lastX = -std::numeric_limits<double>::infinity();
    bool m_any = false;
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

    // The view's two ends decoded once each: the frames beyond them, and the ragged ends of the
    // outer columns, which block extremes do not cover (less than the finest block).
    const auto edge = std::int64_t(FrameIndex::blockFrames(0));
    Collect head;
    Collect tail;
    index.read(std::size_t(std::max<std::int64_t>(0, lo - kBeyond)), std::size_t(std::min(hi, lo + edge)), bytes, head);
    index.read(std::size_t(std::max(lo, hi - edge)), std::size_t(std::min(n - 1, hi + kBeyond)), bytes, tail);
    double y;
    for (int s = 0; s < kSeriesCount; ++s) {
        auto& points = out[std::size_t(s)];
        points.reserve(2 * std::size_t(columns) + 2);
        for (auto it = head.frames.rbegin(); it != head.frames.rend(); ++it)
            if (double(it->sample) < x0 && seriesY(*it, s, y)) {
                points.push_back({double(it->sample), y});
                break;
            }
        shapes[std::size_t(s)] = Decimation::Envelope;
    }

    const double width = (x1 - x0) / columns;
    // The coarsest level whose blocks still come a few to a column; none: every frame is read.
    int level = -1;
    for (int l = FrameIndex::kLevels - 1; l >= 0 && level < 0; --l)
        if (double(frames) >= kFrameSnapBlocksPerColumn * double(FrameIndex::blockFrames(l)) * columns) level = l;
    if (level < 0) {
        Columns cols(x0, x1, columns);
        index.read(std::size_t(lo), std::size_t(hi), bytes, cols);
        for (int s = 0; s < kSeriesCount; ++s) cols.emitAll(s, out[std::size_t(s)]);
    } else {
        // Inner column edges move to the nearest block edge of that level (at most a quarter of
        // a column, never a visible shift), so all but the two outer columns read block extremes.
        const auto blockSize = std::int64_t(FrameIndex::blockFrames(level));
        std::int64_t a = lo;
        for (int col = 0; col < columns; ++col) {
            std::int64_t b = hi + 1;
            if (col + 1 < columns) {
                const double edge = (x0 + width * (col + 1) - s0) / double(blockSize);
                b = std::clamp<std::int64_t>(std::int64_t(std::llround(edge)) * blockSize, a, hi + 1);
            }
            if (b <= a) continue;
            Extremes cell(index, bytes, s0, {&head.frames, &tail.frames});
            cell.add(level, a, b);
            const double mid = std::floor(x0 + width * (col + 0.5));
            for (int s = 0; s < kSeriesCount; ++s) emit(cell.column(s), mid, out[std::size_t(s)]);
            a = b;
        }
    }

    for (int s = 0; s < kSeriesCount; ++s)
        for (const auto& f : tail.frames)
            if (double(f.sample) > x1 && seriesY(f, s, y)) {
                out[std::size_t(s)].push_back({double(f.sample), y});
                break;
            }
    return shapes;
}

}  // namespace darvelon::plot
