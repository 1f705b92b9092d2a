#include "recording_status.h"

#include <cstdio>

namespace darvelon::cli {

void RecordingStatus::add(int index, std::int32_t, double y, decoder::Rgb) {
    switch (index) {
        case decoder::kSpeedOddSeries:
        case decoder::kSpeedEvenSeries:
            m_rpm = y;
            break;
        case decoder::kAngleSeries:
            m_angleDeg = y / 100;  // the chart gets the angle times 100
            break;
        case decoder::kAuxSeries:
            ++m_frames;  // the last of a frame's three points
            break;
        default:
            break;
    }
}

std::string RecordingStatus::line(double elapsedSeconds) const {
    const auto total = static_cast<long long>(elapsedSeconds);
    char text[192];
    std::snprintf(text, sizeof text, "%llu bytes  %llu frames  %.0f rpm  %.2f°  %02lld:%02lld:%02lld",
                  static_cast<unsigned long long>(m_bytes), static_cast<unsigned long long>(m_frames), m_rpm,
                  m_angleDeg, total / 3600, total / 60 % 60, total % 60);
    std::string result = text;
    if (m_zeroPeriods > 0) result += "  " + std::to_string(m_zeroPeriods) + " zero periods skipped";
    return result;
}

}  // namespace darvelon::cli
