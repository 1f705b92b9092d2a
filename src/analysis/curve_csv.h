#pragma once
// The curve table as CSV, one row per bin that holds frames, by rising speed. Numbers are
// written in the shortest text that reads back as the same double, as the frame export does.
#include <ostream>
#include <vector>

#include "curve_table.h"

namespace darvelon::analysis {

inline constexpr const char* kCurveCsvHeader =
    "speed_from_rpm,speed_to_rpm,frames,angle_mean_deg,angle_min_deg,angle_max_deg\n";

// Header included.
void writeCurveCsv(const std::vector<CurveBin>& bins, std::ostream& out);

}  // namespace darvelon::analysis
