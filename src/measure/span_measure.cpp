#include "measure/span_measure.h"

#include <algorithm>
#include <limits>

namespace darvelon::measure {

namespace {

class AngleStatistics final : public decoder::FrameSink {
public:
    void frame(const decoder::Frame& f) override {
        m_sum += f.angle.degrees;
        m_min = std::min(m_min, f.angle.degrees);
        m_max = std::max(m_max, f.angle.degrees);
        ++m_frames;
    }
    void into(SpanMeasurement& span) const {
        span.frames = m_frames;
        span.angleMean = m_frames ? m_sum / double(m_frames) : 0;
        span.angleMin = m_min;
        span.angleMax = m_max;
    }

private:
    double m_sum = 0;
    double m_min = std::numeric_limits<double>::infinity();
    double m_max = -std::numeric_limits<double>::infinity();
    std::size_t m_frames = 0;
};

}  // namespace

std::optional<FramePoint> framePoint(const plot::ChartModel& model, std::int64_t sample) {
    const auto seconds = model.secondsAt(sample);
    if (!seconds) return std::nullopt;
    const auto f = model.frameNearest(double(sample));
    return FramePoint{sample, *seconds, f->speedRpm};
}

std::optional<SpanMeasurement> measureSpan(const plot::ChartModel& model, std::int64_t a, std::int64_t b) {
    const auto pa = framePoint(model, a);
    const auto pb = framePoint(model, b);
    if (!pa || !pb) return std::nullopt;
    SpanMeasurement span;
    span.a = *pa;
    span.b = *pb;
    span.seconds = pb->seconds - pa->seconds;
    span.speedRpm = pb->speedRpm - pa->speedRpm;
    if (span.seconds != 0) span.rpmPerSecond = span.speedRpm / span.seconds;
    AngleStatistics angles;
    model.forEachFrame(double(std::min(a, b)), double(std::max(a, b)), angles);
    angles.into(span);
    return span;
}

}  // namespace darvelon::measure
