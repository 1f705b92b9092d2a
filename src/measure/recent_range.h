#pragma once
// The x range of the last seconds of data, for a view that follows only the recent past.
#include <utility>

#include "plot/chart_model.h"

namespace darvelon::measure {

// From the earliest frame that lies no more than `seconds` before the last frame, to the last
// point: the whole data when they span less. Without frames, the model's whole x range.
// A binary search over the frames' times: O(log n) time lookups.
std::pair<double, double> recentRange(const plot::ChartModel& model, double seconds);

}  // namespace darvelon::measure
