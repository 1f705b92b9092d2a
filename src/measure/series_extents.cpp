#include "measure/series_extents.h"

#include <algorithm>
#include <limits>

#include "decoder/chart_points.h"

namespace darvelon::measure {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
using Block = SeriesExtents::Block;

// Widens a block by the chart's own points of each frame, so the extents are those of what is
// drawn.
class BlockPoints final : public decoder::PlotTarget {
public:
    explicit BlockPoints(Block& block) : m_block(block) {}
    void add(int index, std::int32_t, double y, decoder::Rgb) override {
        const auto i = std::size_t(index);
        m_block.low[i] = std::min(m_block.low[i], y);
        m_block.high[i] = std::max(m_block.high[i], y);
    }

private:
    Block& m_block;
};

// Files new frames into blocks of kBlockFrames.
class Appender final : public decoder::FrameSink {
public:
    explicit Appender(std::vector<Block>& blocks) : m_blocks(blocks) {}
    void frame(const decoder::Frame& f) override {
        if (m_blocks.empty() || m_blocks.back().frames == SeriesExtents::kBlockFrames) m_blocks.emplace_back();
        Block& block = m_blocks.back();
        if (block.frames++ == 0) block.first = f.sample;
        block.last = f.sample;
        BlockPoints points(block);
        decoder::plotFrame(f, points);
    }

private:
    std::vector<Block>& m_blocks;
};

// The extent of a range, from whole blocks and single frames.
class Extent final : public decoder::FrameSink {
public:
    void frame(const decoder::Frame& f) override { decoder::plotFrame(f, m_points); }
    void block(const Block& b) {
        for (std::size_t i = 0; i < b.low.size(); ++i) {
            m_total.low[i] = std::min(m_total.low[i], b.low[i]);
            m_total.high[i] = std::max(m_total.high[i], b.high[i]);
        }
    }
    std::optional<std::pair<double, double>> of(const SeriesExtents::SeriesMask& shown) const {
        double low = kInfinity;
        double high = -kInfinity;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (!shown[i]) continue;
            low = std::min(low, m_total.low[i]);
            high = std::max(high, m_total.high[i]);
        }
        if (low > high) return std::nullopt;
        return std::pair{low, high};
    }

private:
    Block m_total;
    BlockPoints m_points{m_total};
};

}  // namespace

SeriesExtents::Block::Block() {
    low.fill(kInfinity);
    high.fill(-kInfinity);
}

void SeriesExtents::reset() {
    m_blocks.clear();
    m_frames = 0;
}

void SeriesExtents::update(const plot::ChartModel& model) {
    if (model.frames() < m_frames) reset();
    if (model.frames() == m_frames) return;
    // Frames arrive in ascending samples, so the new ones are those after the last summarised.
    const double after = m_blocks.empty() ? -kInfinity : m_blocks.back().last + 0.5;
    Appender appender(m_blocks);
    model.forEachFrame(after, kInfinity, appender);
    m_frames = model.frames();
}

std::optional<std::pair<double, double>> SeriesExtents::range(const plot::ChartModel& model, double x0, double x1,
                                                              const SeriesMask& shown) const {
    Extent extent;
    // From the first block that reaches x0 to the last that starts by x1; only the blocks cut by
    // an end of the range are read frame by frame.
    auto it = std::lower_bound(m_blocks.begin(), m_blocks.end(), x0,
                               [](const Block& b, double x) { return double(b.last) < x; });
    for (; it != m_blocks.end() && double(it->first) <= x1; ++it) {
        if (double(it->first) >= x0 && double(it->last) <= x1) extent.block(*it);
        else model.forEachFrame(std::max(x0, double(it->first)), std::min(x1, double(it->last)), extent);
    }
    return extent.of(shown);
}

}  // namespace darvelon::measure
