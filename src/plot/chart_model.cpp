#include "plot/chart_model.h"

#include <algorithm>
#include <cmath>

#include "decoder/frame_format.h"

namespace darvelon::plot {

namespace {

class OneFrame final : public decoder::FrameSink {
public:
    void frame(const decoder::Frame& f) override { found = f; }
    std::optional<decoder::Frame> found;
};

}  // namespace

std::size_t SeriesView::size() const {
    const FrameIndex& index = m_model.m_index;
    if (index.frames() == 0) return m_model.m_stores[std::size_t(m_series)].size();
    if (m_series == decoder::kSpeedOddSeries) return index.speedFrames(true);
    if (m_series == decoder::kSpeedEvenSeries) return index.speedFrames(false);
    return index.frames();
}

std::optional<decoder::Frame> SeriesView::frameOf(std::size_t i) const {
    const FrameIndex& index = m_model.m_index;
    std::size_t frame = i;
    if (m_series == decoder::kSpeedOddSeries || m_series == decoder::kSpeedEvenSeries) {
        // The speed series take turns frame by frame.
        const bool odd = m_series == decoder::kSpeedOddSeries;
        frame = 2 * i + (index.oddSpeed(0) == odd ? 0 : 1);
    }
    OneFrame one;
    index.read(frame, frame, m_model.bytes(), one);
    return one.found;
}

std::int32_t SeriesView::x(std::size_t i) const {
    if (m_model.m_index.frames() == 0) return m_model.m_stores[std::size_t(m_series)].x(i);
    const auto f = frameOf(i);
    return f ? f->sample : 0;
}

double SeriesView::y(std::size_t i) const {
    if (m_model.m_index.frames() == 0) return m_model.m_stores[std::size_t(m_series)].y(i);
    const auto f = frameOf(i);
    double y = 0;
    if (f) seriesY(*f, m_series, y);
    return y;
}

void ChartModel::startFrames(const decoder::TFrameDecoder& decoder, bool toggle, std::unique_ptr<ByteSource> bytes) {
    m_index.reset(decoder, toggle, bytes ? FrameIndex::Keep::RecentFrames : FrameIndex::Keep::AllFrames);
    m_bytes = std::move(bytes);
    ++m_generation;
}

void ChartModel::adoptFrames(FrameIndex index, std::unique_ptr<ByteSource> bytes) {
    m_index = std::move(index);
    m_bytes = std::move(bytes);
    ++m_generation;
}

void ChartModel::add(int index, std::int32_t x, double y, decoder::Rgb colour) {
    m_stores[std::size_t(index)].append(x, y);
    m_colours[std::size_t(index)] = colour;
}

void ChartModel::clear(int index) {
    m_stores[std::size_t(index)].clear();
    m_index.reset(decoder::TFrameDecoder{}, false, FrameIndex::Keep::AllFrames);
    m_bytes.reset();
    ++m_generation;
}

std::pair<double, double> ChartModel::dataXRange() const {
    double lo = 0;
    double hi = 0;
    bool any = false;
    const auto include = [&](double first, double last) {
        lo = any ? std::min(lo, first) : first;
        hi = any ? std::max(hi, last) : last;
        any = true;
    };
    if (m_index.frames() > 0)
        include(m_index.firstSample(), double(m_index.firstSample()) + double(m_index.frames() - 1));
    for (const auto& s : m_stores)
        if (!s.empty()) include(s.x(0), s.x(s.size() - 1));
    return {lo, hi};
}

double ChartModel::maxY() const {
    double maxY = m_index.maxY();
    for (const auto& s : m_stores)
        if (!s.empty()) maxY = std::max(maxY, s.maxY());
    return maxY;
}

std::array<Decimation, decoder::kSeriesCount> ChartModel::lines(double x0, double x1, int columns,
                                                                SeriesPoints& out) const {
    if (m_index.frames() > 0) return decimateFrames(m_index, bytes(), x0, x1, columns, out);
    std::array<Decimation, decoder::kSeriesCount> shapes{};
    for (int s = 0; s < decoder::kSeriesCount; ++s)
        shapes[std::size_t(s)] = decimate(m_stores[std::size_t(s)], x0, x1, columns, out[std::size_t(s)]);
    return shapes;
}

std::optional<decoder::Frame> ChartModel::frameNearest(double x) const {
    const std::size_t n = m_index.frames();
    if (n == 0 || std::isnan(x)) return std::nullopt;
    const double i = std::clamp(std::floor(x - m_index.firstSample() + 0.5), 0.0, double(n - 1));
    // A point added on its own nearer to x than any frame has nothing to read.
    const double distance = std::abs(x - (i + m_index.firstSample()));
    for (const auto& s : m_stores) {
        if (s.empty()) continue;
        const std::size_t k = s.lowerBound(x);
        if (k < s.size() && s.x(k) - x < distance) return std::nullopt;
        if (k > 0 && x - s.x(k - 1) < distance) return std::nullopt;
    }
    OneFrame one;
    m_index.read(std::size_t(i), std::size_t(i), bytes(), one);
    return one.found;
}

void ChartModel::forEachFrame(double first, double last, decoder::FrameSink& sink) const {
    const std::size_t n = m_index.frames();
    if (n == 0 || !(last >= first)) return;
    const double s0 = m_index.firstSample();
    const double a = std::max(0.0, std::ceil(first - s0));
    const double b = std::min(double(n - 1), std::floor(last - s0));
    if (a > b) return;
    m_index.read(std::size_t(a), std::size_t(b), bytes(), sink);
}

std::optional<double> ChartModel::secondsAt(std::int64_t sample) const {
    const std::int64_t i = sample - m_index.firstSample();
    if (i < 0 || std::uint64_t(i) >= m_index.frames()) return std::nullopt;
    return double(m_index.ticksThrough(std::size_t(i), bytes())) / decoder::kTicksPerSecond;
}

std::size_t ChartModel::memoryBytes() const {
    std::size_t bytes = m_index.memoryBytes();
    for (const auto& s : m_stores) bytes += s.memoryBytes();
    return bytes;
}

}  // namespace darvelon::plot
