#pragma once
// The chart's data without a widget. Decoded frames live in a frame index over the log they
// came from (only extremes and decoder checkpoints in memory; any stretch decodes again from
// the log), or, with no log behind them, as compact records. Points added one by one, for data
// that did not come from the decoder, live in point stores. Tests check it without any window.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "decoder/frame.h"
#include "decoder/frame_decoder.h"
#include "decoder/plot_target.h"
#include "plot/decimate.h"
#include "plot/frame_decimate.h"
#include "plot/frame_index.h"
#include "plot/log_bytes.h"
#include "plot/series_store.h"

namespace darvelon::plot {

class ChartModel;

// One series' points, read back one at a time (for checks and small data, not for drawing).
class SeriesView {
public:
    SeriesView(const ChartModel& model, int series) : m_model(model), m_series(series) {}
    std::size_t size() const;
    bool empty() const { return size() == 0; }
    std::int32_t x(std::size_t i) const;
    double y(std::size_t i) const;

private:
    std::optional<decoder::Frame> frameOf(std::size_t i) const;
    const ChartModel& m_model;
    int m_series;
};

class ChartModel final : public decoder::FrameSink, public decoder::PlotTarget {
public:
    // Frames from here on come from `decoder`, as it stands now, with `toggle`, decoding bytes
    // that `bytes` holds from the decoder's BytesTaken on; with no bytes the frames are kept.
    void startFrames(const decoder::TFrameDecoder& decoder, bool toggle, std::unique_ptr<ByteSource> bytes);
    // An index built elsewhere (a replay opened off the window's thread) over `bytes`.
    void adoptFrames(FrameIndex index, std::unique_ptr<ByteSource> bytes);
    // A frame: its four points, as the decoder's chart adapter makes them.
    void frame(const decoder::Frame& f) override { m_index.frame(f); }
    // One point on its own, for data that did not come from the decoder.
    void add(int index, std::int32_t x, double y, decoder::Rgb colour) override;
    // Empties one point store, and the frames, which belong to all four series.
    void clear(int index);

    SeriesView points(int index) const { return {*this, index}; }
    // The colour the series' latest point brought; its line is drawn in it.
    decoder::Rgb colour(int index) const { return m_colours[std::size_t(index)]; }
    // The x range all points cover; {0, 0} when there are none.
    std::pair<double, double> dataXRange() const;
    // The highest y of all points since the series were cleared; 0 when none.
    double maxY() const;
    // The four lines for x in [x0, x1] on `columns` pixel columns (see decimate()).
    std::array<Decimation, decoder::kSeriesCount> lines(double x0, double x1, int columns, SeriesPoints& out) const;

    // The frame whose sample is nearest to x (the later one on a tie).
    std::optional<decoder::Frame> frameNearest(double x) const;
    std::size_t frames() const { return m_index.frames(); }
    // Hands `sink` every frame whose sample lies in [first, last], in order.
    void forEachFrame(double first, double last, decoder::FrameSink& sink) const;
    // Seconds from the first frame shown to the frame at `sample`: the sum of the periods of the
    // frames after the first, up to and including it. Empty when no frame has that sample.
    std::optional<double> secondsAt(std::int64_t sample) const;

    const FrameIndex& index() const { return m_index; }
    // Changes whenever the frames start over (cleared, a new recording, a replay), so whoever
    // takes them up a few at a time knows to start over too.
    std::uint64_t generation() const { return m_generation; }
    // What the model holds in memory for its data.
    std::size_t memoryBytes() const;

private:
    friend class SeriesView;
    ByteSource* bytes() const { return m_bytes.get(); }

    FrameIndex m_index;
    std::unique_ptr<ByteSource> m_bytes;
    std::uint64_t m_generation = 0;
    std::array<SeriesStore, decoder::kSeriesCount> m_stores;
    std::array<decoder::Rgb, decoder::kSeriesCount> m_colours{decoder::kRed, decoder::kBlack, decoder::kBlue,
                                                              decoder::kGreen};
};

}  // namespace darvelon::plot
