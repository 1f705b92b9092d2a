#pragma once
// A frame as the chart shows it: speed to Series1 (red) or Series3 (blue) as the toggle had it,
// then the angle x 100 to Series2 (black), then the auxiliary byte x 10 to Series4 (green),
// all at the frame's sample index.
#include "frame.h"
#include "plot_target.h"

namespace darvelon::decoder {

inline void plotFrame(const Frame& f, PlotTarget& target) {
    if (f.oddSpeedSeries) target.add(kSpeedOddSeries, f.sample, f.speedRpm, kRed);
    else target.add(kSpeedEvenSeries, f.sample, f.speedRpm, kBlue);
    target.add(kAngleSeries, f.sample, f.angle.times100, kBlack);
    target.add(kAuxSeries, f.sample, f.aux * 10.0, kGreen);
}

// Hands the decoder's frames to a plot target as points.
class ChartPoints final : public FrameSink {
public:
    explicit ChartPoints(PlotTarget& target) : m_target(target) {}
    void frame(const Frame& f) override { plotFrame(f, m_target); }

private:
    PlotTarget& m_target;
};

}  // namespace darvelon::decoder
