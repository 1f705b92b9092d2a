#pragma once
// What a headless recording shows about itself: a plot target that keeps the latest speed and
// angle and counts frames, and the one-line summary of it all.
#include <cstdint>
#include <string>

#include "decoder/plot_target.h"

namespace darvelon::cli {

class RecordingStatus : public decoder::PlotTarget {
public:
    void add(int index, std::int32_t x, double y, decoder::Rgb colour) override;

    void countBytes(std::uint64_t n) { m_bytes += n; }
    void countZeroPeriod() { ++m_zeroPeriods; }

    std::uint64_t bytes() const { return m_bytes; }
    std::uint64_t frames() const { return m_frames; }
    std::uint64_t zeroPeriods() const { return m_zeroPeriods; }

    // "12345 bytes  1370 frames  850 rpm  12.40°  00:01:23", with the zero periods when any.
    std::string line(double elapsedSeconds) const;

private:
    std::uint64_t m_bytes = 0;
    std::uint64_t m_frames = 0;
    std::uint64_t m_zeroPeriods = 0;
    double m_rpm = 0;
    double m_angleDeg = 0;
};

}  // namespace darvelon::cli
