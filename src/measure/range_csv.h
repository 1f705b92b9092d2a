#pragma once
// A range of the chart's frames as CSV: the columns of darvelon-cli decode, then time_s, the
// chart's own time of each frame (ChartModel::secondsAt).
#include <cstdint>
#include <ostream>

#include "plot/chart_model.h"

namespace darvelon::measure {

// The header, then a row for every frame whose sample lies in [x0, x1]. Returns the rows written.
std::uint64_t exportRangeCsv(const plot::ChartModel& model, double x0, double x1, std::ostream& out);

}  // namespace darvelon::measure
