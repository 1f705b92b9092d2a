#include "recording_status.h"

#include <cstdio>

namespace darvelon::cli {

void RecordingStatus::frame(const decoder::Frame& f) {
    m_rpm = f.speedRpm;
    m_angleDeg = f.angle.degrees;
    ++m_frames;
}

std::string RecordingStatus::line(double elapsedSeconds, std::uint64_t bytes, std::uint64_t zeroPeriods) const {
    const auto total = static_cast<long long>(elapsedSeconds);
    char text[192];
    std::snprintf(text, sizeof text, "%llu bytes  %llu frames  %.0f rpm  %.2f°  %02lld:%02lld:%02lld",
                  static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(m_frames), m_rpm, m_angleDeg,
                  total / 3600, total / 60 % 60, total % 60);
    std::string result = text;
    if (zeroPeriods > 0) result += "  " + std::to_string(zeroPeriods) + " zero periods skipped";
    return result;
}

}  // namespace darvelon::cli
