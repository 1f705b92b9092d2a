#pragma once
// What lies between two frames of the chart: the time, speed and mean acceleration from one to
// the other, and the angle over every frame from one to the other.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "plot/chart_model.h"

namespace darvelon::measure {

struct FramePoint {
    std::int64_t sample = 0;
    double seconds = 0;  // ChartModel::secondsAt
    double speedRpm = 0;
};

struct SpanMeasurement {
    FramePoint a;
    FramePoint b;
    double seconds = 0;   // b minus a; negative when b lies before a
    double speedRpm = 0;  // b minus a
    // Speed difference over time difference; empty when both are one frame.
    std::optional<double> rpmPerSecond;
    // Angle in degrees over the frames from the earlier to the later one, both included.
    double angleMean = 0;
    double angleMin = 0;
    double angleMax = 0;
    std::size_t frames = 0;
};

// Empty when no frame has that sample.
std::optional<FramePoint> framePoint(const plot::ChartModel& model, std::int64_t sample);

// Reads every frame between the two, so it costs their number: meant for when a cursor is
// placed, not per mouse move. Empty when either sample has no frame.
std::optional<SpanMeasurement> measureSpan(const plot::ChartModel& model, std::int64_t a, std::int64_t b);

}  // namespace darvelon::measure
