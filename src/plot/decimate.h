#pragma once
// Turns the points of a visible x range into what a line chart of `columns` pixels needs to
// draw the same picture: every point while there are few, otherwise per pixel column its
// lowest and highest point, so no spike disappears.
#include <vector>

#include "series_store.h"

namespace darvelon::plot {

struct PlotPoint {
    double x;
    double y;
    friend bool operator==(const PlotPoint&, const PlotPoint&) = default;
};

// Fewer points than this per pixel column are drawn raw.
inline constexpr double kRawPointsPerColumn = 2.0;
// From this many 64-point blocks per column on, the edges between columns move to the nearest
// block edge: no point then lands more than 1/16 of a column from its own column.
inline constexpr double kSnapBlocksPerColumn = 8.0;

enum class Decimation {
    Raw,       // every point, in x order
    Envelope,  // per column one point, or two at the same x: its lowest and highest
};

// Replaces `out` with the points for x in [x0, x1], plus the nearest point beyond each end so
// the line runs on to the edges of the plot.
Decimation decimate(const SeriesStore& store, double x0, double x1, int columns, std::vector<PlotPoint>& out);

}  // namespace darvelon::plot
