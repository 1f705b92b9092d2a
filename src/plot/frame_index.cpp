#include "plot/frame_index.h"

#include <algorithm>
#include <array>

#include "decoder/extended_math.h"

namespace darvelon::plot {

namespace {

// A frame as one 64-bit record: period (24 bits), period stamp minus phase stamp (25 bits,
// biased to be positive), the aux byte and the toggle.
constexpr std::uint64_t kPeriodBits = 24;
constexpr std::uint64_t kDifferenceBits = 25;
constexpr std::uint64_t kAuxShift = kPeriodBits + kDifferenceBits;
constexpr std::uint64_t kToggleShift = kAuxShift + 8;
constexpr std::int64_t kDifferenceBias = std::int64_t{1} << 24;

std::uint64_t recordOf(const decoder::Frame& f) {
    const auto difference = std::uint64_t(std::int64_t(f.periodStamp) - std::int64_t(f.phaseStamp) + kDifferenceBias);
    return std::uint64_t(f.periodTicks) | difference << kPeriodBits | std::uint64_t(f.aux) << kAuxShift |
           std::uint64_t(f.oddSpeedSeries) << kToggleShift;
}

// Passes on the frames of an index range and notes when the range is done.
class RangeSink final : public decoder::FrameSink {
public:
    RangeSink(std::int32_t firstSample, std::size_t first, std::size_t last, decoder::FrameSink& out)
        : m_firstSample(firstSample), m_first(first), m_last(last), m_out(out) {}
    void frame(const decoder::Frame& f) override {
        const auto i = std::size_t(std::uint32_t(f.sample) - std::uint32_t(m_firstSample));
        if (i >= m_first && i <= m_last) m_out.frame(f);
        if (i >= m_last) done = true;
    }
    bool done = false;

private:
    std::int32_t m_firstSample;
    std::size_t m_first;
    std::size_t m_last;
    decoder::FrameSink& m_out;
};

}  // namespace

void FrameIndex::reset(const decoder::TFrameDecoder& decoder, bool toggle, Keep keep) {
    for (auto& level : m_blocks) level.clear();
    m_records.clear();
    m_recent.clear();
    m_checkpoints.assign(
        1, Checkpoint{decoder.BytesTaken, 0, std::uint32_t(decoder.PrevPeriodStamp), decoder.HavePrevFrame, toggle});
    m_frames = 0;
    m_speedFrames[0] = m_speedFrames[1] = 0;
    m_firstSample = decoder.SampleIndex;
    m_firstToggle = toggle;
    m_keep = keep;
    m_ticks = 0;
    m_maxY = 0;
}

void FrameIndex::frame(const decoder::Frame& f) {
    if (m_frames == 0) {
        // Whoever hands frames over by hand may not have said where they start.
        m_firstSample = f.sample;
        m_firstToggle = f.oddSpeedSeries;
    } else {
        m_ticks += f.periodTicks;
    }
    // Only the finest block sees every frame; a coarser one takes each finer block once it is
    // complete, which is all a view ever reads of it.
    auto& fine = m_blocks[0];
    if (m_frames % blockFrames(0) == 0) fine.emplace_back();
    Block& b = fine.back();
    const bool odd = f.oddSpeedSeries;
    b.minTicks[odd] = std::min(b.minTicks[odd], f.periodTicks);
    b.maxTicks[odd] = std::max(b.maxTicks[odd], f.periodTicks);
    b.minAngle = std::min(b.minAngle, f.angle.times100);
    b.maxAngle = std::max(b.maxAngle, f.angle.times100);
    b.minAux = std::min(b.minAux, f.aux);
    b.maxAux = std::max(b.maxAux, f.aux);
    for (int level = 1; level < kLevels && (m_frames + 1) % blockFrames(level - 1) == 0; ++level) {
        auto& coarse = m_blocks[level];
        if (m_frames / blockFrames(level) >= coarse.size()) coarse.emplace_back();
        coarse.back().include(m_blocks[level - 1].back());
    }
    m_maxY = std::max({m_maxY, f.speedRpm, f.angle.times100, f.aux * 10.0});
    ++m_speedFrames[odd];
    if (m_keep == Keep::AllFrames) m_records.push_back(recordOf(f));
    else if (m_keep == Keep::RecentFrames && m_recent.size() < kRecentFrames) m_recent.push_back(f);
    else if (m_keep == Keep::RecentFrames) m_recent[m_frames % kRecentFrames] = f;
    ++m_frames;
    if (m_frames % kCheckpointFrames == 0)
        m_checkpoints.push_back({f.endOffset, m_ticks, f.periodStamp, true, !f.oddSpeedSeries});
}

decoder::Frame FrameIndex::recordFrame(std::size_t i) const {
    const std::uint64_t record = m_records[i];
    decoder::Frame f;
    f.sample = std::int32_t(std::uint32_t(m_firstSample) + std::uint32_t(i));
    f.periodTicks = std::uint32_t(record & ((1u << kPeriodBits) - 1));
    const auto difference = std::int32_t(
        std::int64_t((record >> kPeriodBits) & ((std::uint64_t{1} << kDifferenceBits) - 1)) - kDifferenceBias);
    f.aux = std::uint8_t(record >> kAuxShift);
    f.oddSpeedSeries = (record >> kToggleShift) & 1;
    f.speedRpm = decoder::speedRpm(f.periodTicks);
    f.angle = decoder::angle(difference, f.periodTicks);
    return f;
}

void FrameIndex::read(std::size_t first, std::size_t last, ByteSource* bytes, decoder::FrameSink& sink) const {
    if (m_frames == 0 || first >= m_frames) return;
    last = std::min(last, m_frames - 1);
    if (first > last) return;
    if (m_keep == Keep::AllFrames || !bytes) {
        for (std::size_t i = first; i <= last && i < m_records.size(); ++i) sink.frame(recordFrame(i));
        return;
    }
    if (first + m_recent.size() >= m_frames) {
        for (std::size_t i = first; i <= last; ++i) sink.frame(m_recent[i % kRecentFrames]);
        return;
    }
    const std::size_t k = first / kCheckpointFrames;
    const Checkpoint& c = m_checkpoints[k];
    decoder::TFrameDecoder decoder;
    decoder.PrevPeriodStamp = c.prevPeriodStamp;
    decoder.HavePrevFrame = c.havePrev;
    decoder.SampleIndex = std::int32_t(std::uint32_t(m_firstSample) + std::uint32_t(k * kCheckpointFrames));
    decoder.BytesTaken = c.offset;
    bool toggle = c.toggle;
    RangeSink range(m_firstSample, first, last, sink);
    std::array<std::uint8_t, 16384> buffer;
    std::uint64_t at = c.offset;
    while (!range.done) {
        const std::size_t n = bytes->read(at, buffer);
        if (n == 0) break;
        at += n;
        // A zero period is one skipped frame, as a recording skips it; a replay's index ends
        // before one, so decoding never gets past it here.
        for (std::span<const std::uint8_t> rest(buffer.data(), n); !rest.empty() && !range.done;)
            rest = rest.subspan(decoder.feed(rest, toggle, range).consumed);
    }
}

std::uint64_t FrameIndex::ticksThrough(std::size_t i, ByteSource* bytes) const {
    const std::size_t k = i / kCheckpointFrames;
    struct Sum final : decoder::FrameSink {
        std::uint64_t ticks = 0;
        std::size_t seen = 0;
        bool skipFirst = false;
        void frame(const decoder::Frame& f) override {
            if (!(skipFirst && seen == 0)) ticks += f.periodTicks;
            ++seen;
        }
    } sum;
    sum.skipFirst = k == 0;
    read(k * kCheckpointFrames, i, bytes, sum);
    return m_checkpoints[k].ticks + sum.ticks;
}

std::size_t FrameIndex::memoryBytes() const {
    std::size_t blocks = 0;
    for (const auto& level : m_blocks) blocks += level.capacity();
    return blocks * sizeof(Block) + m_checkpoints.capacity() * sizeof(Checkpoint) +
           m_records.capacity() * sizeof(std::uint64_t) + m_recent.capacity() * sizeof(decoder::Frame);
}

}  // namespace darvelon::plot
