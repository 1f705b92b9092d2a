#pragma once
// The legend's rows: each line shown, in its colour, with what it plots, its unit and factor.
#include <vector>

#include "overlay_panel.h"

namespace darvelon::ui {

class MeasurementChart;

std::vector<OverlayPanel::Row> legendRows(const MeasurementChart& chart);

}  // namespace darvelon::ui
