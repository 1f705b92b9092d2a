#include "plot/chart_model.h"

#include <algorithm>

#include "decoder/chart_points.h"
#include "decoder/extended_math.h"
#include "decoder/frame_format.h"

namespace darvelon::plot {

namespace {

constexpr std::uint64_t kPeriodBits = 24;
constexpr std::uint64_t kDifferenceBits = 25;
constexpr std::uint64_t kAuxShift = kPeriodBits + kDifferenceBits;
constexpr std::uint64_t kToggleShift = kAuxShift + 8;
// The difference of two 24-bit stamps, -(2^24 - 1) .. 2^24 - 1, stored shifted to be positive.
constexpr std::int64_t kDifferenceBias = std::int64_t{1} << 24;

std::uint64_t recordOf(const decoder::Frame& f) {
    const auto difference = std::uint64_t(std::int64_t(f.periodStamp) - std::int64_t(f.phaseStamp) + kDifferenceBias);
    return std::uint64_t(f.periodTicks) | difference << kPeriodBits | std::uint64_t(f.aux) << kAuxShift |
           std::uint64_t(f.oddSpeedSeries) << kToggleShift;
}

}  // namespace

void ChartModel::frame(const decoder::Frame& f) {
    decoder::plotFrame(f, *this);
    if (!m_records.empty()) m_ticks += f.periodTicks;
    if (m_records.size() % kTickMarkSpacing == 0) m_tickMarks.push_back(m_ticks);
    m_records.push_back(recordOf(f));
}

void ChartModel::add(int index, std::int32_t x, double y, decoder::Rgb colour) {
    m_stores[std::size_t(index)].append(x, y);
    m_colours[std::size_t(index)] = colour;
}

void ChartModel::clear(int index) {
    m_stores[std::size_t(index)].clear();
    if (index != decoder::kAngleSeries) return;
    m_records.clear();
    m_tickMarks.clear();
    m_ticks = 0;
}

std::pair<double, double> ChartModel::dataXRange() const {
    double lo = 0;
    double hi = 0;
    bool any = false;
    for (const auto& s : m_stores) {
        if (s.empty()) continue;
        const double first = s.x(0);
        const double last = s.x(s.size() - 1);
        lo = any ? std::min(lo, first) : first;
        hi = any ? std::max(hi, last) : last;
        any = true;
    }
    return {lo, hi};
}

double ChartModel::maxY() const {
    double maxY = 0;
    for (const auto& s : m_stores)
        if (!s.empty()) maxY = std::max(maxY, s.maxY());
    return maxY;
}

std::optional<decoder::Frame> ChartModel::frameNearest(double x) const {
    const SeriesStore& angles = m_stores[decoder::kAngleSeries];
    // Points added on their own have no record; only a store of whole frames answers.
    if (angles.empty() || angles.size() != m_records.size()) return std::nullopt;
    std::size_t i = angles.lowerBound(x);
    if (i == angles.size() || (i > 0 && x - angles.x(i - 1) < angles.x(i) - x)) --i;
    return frameAt(i);
}

void ChartModel::forEachFrame(double first, double last, decoder::FrameSink& sink) const {
    const SeriesStore& angles = m_stores[decoder::kAngleSeries];
    if (angles.size() != m_records.size()) return;
    for (std::size_t i = angles.lowerBound(first); i < angles.size() && angles.x(i) <= last; ++i)
        sink.frame(frameAt(i));
}

std::optional<double> ChartModel::secondsAt(std::int64_t sample) const {
    const SeriesStore& angles = m_stores[decoder::kAngleSeries];
    if (angles.empty() || angles.size() != m_records.size()) return std::nullopt;
    const std::size_t i = angles.lowerBound(double(sample));
    if (i == angles.size() || angles.x(i) != sample) return std::nullopt;
    std::uint64_t ticks = m_tickMarks[i / kTickMarkSpacing];
    for (std::size_t k = i / kTickMarkSpacing * kTickMarkSpacing + 1; k <= i; ++k) ticks += frameAt(k).periodTicks;
    return double(ticks) / decoder::kTicksPerSecond;
}

decoder::Frame ChartModel::frameAt(std::size_t i) const {
    const SeriesStore& angles = m_stores[decoder::kAngleSeries];
    const std::uint64_t record = m_records[i];
    decoder::Frame f;
    f.sample = angles.x(i);
    f.periodTicks = std::uint32_t(record & ((1u << kPeriodBits) - 1));
    const auto difference = std::int32_t(
        std::int64_t((record >> kPeriodBits) & ((std::uint64_t{1} << kDifferenceBits) - 1)) - kDifferenceBias);
    f.aux = std::uint8_t(record >> kAuxShift);
    f.oddSpeedSeries = (record >> kToggleShift) & 1;
    f.speedRpm = decoder::speedRpm(f.periodTicks);
    f.angle = decoder::angle(difference, f.periodTicks);
    return f;
}

}  // namespace darvelon::plot
