#pragma once
// The chart's data without a widget: the decoded frames of a recording or a replay, kept as the
// four series' points the chart draws and as one compact raw record per frame for whatever
// reads frames back (the readout). Tests check it without any window.
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "decoder/frame.h"
#include "decoder/plot_target.h"
#include "plot/series_store.h"

namespace darvelon::plot {

class ChartModel final : public decoder::FrameSink, public decoder::PlotTarget {
public:
    // A frame: its four points, as the decoder's chart adapter makes them, and its record.
    void frame(const decoder::Frame& f) override;
    // One point on its own, for data that did not come from the decoder.
    void add(int index, std::int32_t x, double y, decoder::Rgb colour) override;
    // Empties one series. The frame records go with the angle series, which holds exactly one
    // point per frame.
    void clear(int index);

    const SeriesStore& store(int index) const { return m_stores[std::size_t(index)]; }
    // The colour the series' latest point brought; its line is drawn in it.
    decoder::Rgb colour(int index) const { return m_colours[std::size_t(index)]; }
    // The x range all points cover; {0, 0} when there are none.
    std::pair<double, double> dataXRange() const;
    // The highest y of all points ever stored since the series were cleared; 0 when none.
    double maxY() const;
    // The frame whose sample is nearest to x (the later one on a tie), computed from its record
    // exactly as the decoder computed it; its stamps and endOffset are not kept.
    std::optional<decoder::Frame> frameNearest(double x) const;
    std::size_t frames() const { return m_records.size(); }
    // Hands `sink` every frame whose sample lies in [first, last], in order, made as frameNearest
    // makes it.
    void forEachFrame(double first, double last, decoder::FrameSink& sink) const;
    // Seconds from the first frame shown to the frame at `sample`: the sum of the periods of the
    // frames after the first, up to and including it. Empty when no frame has that sample.
    std::optional<double> secondsAt(std::int64_t sample) const;

private:
    std::array<SeriesStore, decoder::kSeriesCount> m_stores;
    std::array<decoder::Rgb, decoder::kSeriesCount> m_colours{decoder::kRed, decoder::kBlack, decoder::kBlue,
                                                              decoder::kGreen};
    // Period (24 bits), period stamp minus phase stamp (25 bits), aux byte and the toggle.
    std::vector<std::uint64_t> m_records;
    // Ticks of all frames after the first, up to each multiple of kTickMarkSpacing frames, so a
    // time is a short sum away.
    static constexpr std::size_t kTickMarkSpacing = 1024;
    std::vector<std::uint64_t> m_tickMarks;
    std::uint64_t m_ticks = 0;
    decoder::Frame frameAt(std::size_t i) const;
};

}  // namespace darvelon::plot
