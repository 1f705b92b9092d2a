#pragma once
// The chart's four lines straight from a frame index: the same picture decimate() makes from
// stored points, without storing them. A view with few frames decodes exactly those frames
// again from the log, so its points are the plain replay's to the bit; a wide view reads the
// index's per-block extremes, decoding only the partial blocks at its ends.
#include <array>
#include <vector>

#include "decoder/plot_target.h"
#include "plot/decimate.h"
#include "plot/frame_index.h"

namespace darvelon::plot {

// From this many blocks of an index level per pixel column on, column edges move to block edges.
inline constexpr double kFrameSnapBlocksPerColumn = 2.0;

using SeriesPoints = std::array<std::vector<PlotPoint>, decoder::kSeriesCount>;

// The y a frame gives series `s`, if that series has a point for it.
bool seriesY(const decoder::Frame& f, int s, double& y);

std::array<Decimation, decoder::kSeriesCount> decimateFrames(const FrameIndex& index, ByteSource* bytes, double x0,
                                                             double x1, int columns, SeriesPoints& out);

}  // namespace darvelon::plot
