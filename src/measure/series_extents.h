#pragma once
// The lowest and highest y each of the chart's four series plots over a range of frames, found
// without reading every frame: frames are summarised in blocks as they arrive, and a range reads
// the blocks it covers whole plus the frames of the two blocks at its ends.
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "decoder/plot_target.h"
#include "plot/chart_model.h"

namespace darvelon::measure {

class SeriesExtents {
public:
    using SeriesMask = std::array<bool, decoder::kSeriesCount>;
    static constexpr std::size_t kBlockFrames = 1024;

    // Summarises the frames the model gained since the last call; starts over when the model
    // holds fewer frames than were summarised. A model cleared and refilled past its old size
    // in between needs reset() first.
    void update(const plot::ChartModel& model);
    void reset();

    // Lowest and highest y of the series in `shown` over the frames whose samples lie in
    // [x0, x1], as the chart plots them; empty when there is no such point. Reads only what
    // update() has summarised.
    std::optional<std::pair<double, double>> range(const plot::ChartModel& model, double x0, double x1,
                                                   const SeriesMask& shown) const;

    struct Block {
        std::int32_t first = 0;  // samples of its first and last frame
        std::int32_t last = 0;
        std::size_t frames = 0;
        std::array<double, decoder::kSeriesCount> low;
        std::array<double, decoder::kSeriesCount> high;
        Block();
    };

private:
    std::vector<Block> m_blocks;
    std::size_t m_frames = 0;
};

}  // namespace darvelon::measure
