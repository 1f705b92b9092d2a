#include "curve_table.h"

#include <cmath>
#include <stdexcept>

#include "decoder/frame_format.h"

namespace darvelon::analysis {

CurveTable::CurveTable(double binRpm, std::optional<TimeWindow> window) : m_binRpm(binRpm), m_window(window) {
    if (!std::isfinite(binRpm) || binRpm < kMinBinRpm)
        throw std::invalid_argument("The bin width must be a finite number of rpm from 0.001 up");
}

std::int64_t CurveTable::binOf(double rpm) const {
    auto bin = static_cast<std::int64_t>(std::floor(rpm / m_binRpm));
    // The quotient is rounded and may land across an edge; the edges written out, bin * width,
    // are what decide.
    if (double(bin) * m_binRpm > rpm) --bin;
    else if (double(bin + 1) * m_binRpm <= rpm) ++bin;
    return bin;
}

CurveTable::Sums& CurveTable::sumsOf(std::int64_t bin) {
    if (m_lastSums && bin == m_lastBin) return *m_lastSums;
    // Nodes of a map stay where they are, so the pointer outlives later insertions.
    m_lastSums = &m_bins[bin];
    m_lastBin = bin;
    return *m_lastSums;
}

void CurveTable::frame(const decoder::Frame& f) {
    if (m_started) m_ticks += f.periodTicks;
    m_started = true;
    if (m_window) {
        const double seconds = double(m_ticks) / decoder::kTicksPerSecond;
        if (seconds < m_window->fromSeconds || seconds > m_window->toSeconds) return;
    }
    Sums& s = sumsOf(binOf(f.speedRpm));
    const double degrees = f.angle.degrees;
    if (s.frames == 0) {
        s.min = degrees;
        s.max = degrees;
    } else {
        s.min = std::min(s.min, degrees);
        s.max = std::max(s.max, degrees);
    }
    s.sum += degrees;
    ++s.frames;
    ++m_frames;
}

std::vector<CurveBin> CurveTable::bins() const {
    std::vector<CurveBin> out;
    out.reserve(m_bins.size());
    for (const auto& [bin, s] : m_bins) {
        out.push_back(
            {double(bin) * m_binRpm, double(bin + 1) * m_binRpm, s.frames, s.sum / double(s.frames), s.min, s.max});
    }
    return out;
}

}  // namespace darvelon::analysis
