#pragma once
// What the chart keeps of a long log instead of its points: per 64 frames, and again per 512 and 4096,
// the extremes of each series, and every 256 frames the decoder's state, from which any stretch
// of the log decodes again to exactly the frames a plain replay gives. About 0.6 bytes a frame,
// so a day of data takes about 25 MB. Without a log behind it (frames handed over by
// hand), the index keeps each frame as a compact record instead.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "decoder/frame.h"
#include "decoder/frame_decoder.h"
#include "plot/log_bytes.h"

namespace darvelon::plot {

class FrameIndex final : public decoder::FrameSink {
public:
    static constexpr int kLevels = 3;
    // Frames a block of each level covers (64, 512, 4096); a wide view reads the coarsest level
    // that still gives every pixel column a few blocks.
    static constexpr std::size_t blockFrames(int level) { return std::size_t{64} << (3 * level); }
    static constexpr std::size_t kCheckpointFrames = 256;
    // The latest frames stay decoded, so a growing recording's view and the frames around its
    // end cost no decoding (about 3.5 MB).
    static constexpr std::size_t kRecentFrames = std::size_t{1} << 16;

    // Extremes of one block's frames, per series; the speeds as period ticks (the longest
    // period is the lowest speed), so the drawn values are recomputed exactly.
    struct Block {
        std::uint32_t minTicks[2] = {std::numeric_limits<std::uint32_t>::max(),
                                     std::numeric_limits<std::uint32_t>::max()};  // [odd toggle]
        std::uint32_t maxTicks[2] = {0, 0};
        double minAngle = std::numeric_limits<double>::infinity();  // x 100, as plotted
        double maxAngle = -std::numeric_limits<double>::infinity();
        std::uint8_t minAux = 255;
        std::uint8_t maxAux = 0;
        void include(const Block& o) {
            for (int odd = 0; odd < 2; ++odd) {
                minTicks[odd] = std::min(minTicks[odd], o.minTicks[odd]);
                maxTicks[odd] = std::max(maxTicks[odd], o.maxTicks[odd]);
            }
            minAngle = std::min(minAngle, o.minAngle);
            maxAngle = std::max(maxAngle, o.maxAngle);
            minAux = std::min(minAux, o.minAux);
            maxAux = std::max(maxAux, o.maxAux);
        }
    };

    // What stays in memory besides the extremes and the checkpoints.
    enum class Keep {
        AllFrames,     // every frame as a record: frames that no log holds
        RecentFrames,  // the latest kRecentFrames decoded: a recording, watched as it grows
        IndexOnly,     // nothing more: a replay, which is read back from its log
    };

    // Starts an empty index whose first frame comes from bytes decoded from `decoder`'s state
    // (its BytesTaken is where they start in the log) with `toggle`; frames must then come in
    // the order that decoder hands them out.
    void reset(const decoder::TFrameDecoder& decoder, bool toggle, Keep keep);
    FrameIndex() { reset(decoder::TFrameDecoder{}, false, Keep::AllFrames); }
    void frame(const decoder::Frame& f) override;

    std::size_t frames() const { return m_frames; }
    std::int32_t firstSample() const { return m_firstSample; }
    const std::vector<Block>& blocks(int level) const { return m_blocks[std::size_t(level)]; }
    // The highest plotted y of all frames; 0 when none.
    double maxY() const { return m_maxY; }
    // Frames handed to the given speed series so far.
    std::size_t speedFrames(bool odd) const { return m_speedFrames[odd]; }
    // Whether frame i went to the odd (red) speed series: the toggle flips with every frame.
    bool oddSpeed(std::size_t i) const { return m_firstToggle != (i % 2 == 1); }
    // Ticks of every frame after the first, up to and including frame i.
    std::uint64_t ticksThrough(std::size_t i, ByteSource* bytes) const;

    // Hands `sink` frames first..last (indices, clamped to what is there), decoding them again
    // from `bytes` when the index keeps no frames.
    void read(std::size_t first, std::size_t last, ByteSource* bytes, decoder::FrameSink& sink) const;

    std::size_t memoryBytes() const;

private:
    struct Checkpoint {
        std::uint64_t offset = 0;  // where decoding resumes
        std::uint64_t ticks = 0;   // ticks of the frames after the first, before this point
        std::uint32_t prevPeriodStamp = 0;
        bool havePrev = false;
        bool toggle = false;
    };
    decoder::Frame recordFrame(std::size_t i) const;

    std::vector<Block> m_blocks[kLevels];
    std::vector<Checkpoint> m_checkpoints;
    std::vector<std::uint64_t> m_records;  // only when keeping frames
    std::vector<decoder::Frame> m_recent;  // a ring: frame i at i % kRecentFrames
    std::size_t m_frames = 0;
    std::size_t m_speedFrames[2] = {0, 0};
    std::int32_t m_firstSample = 0;
    bool m_firstToggle = false;
    Keep m_keep = Keep::AllFrames;
    std::uint64_t m_ticks = 0;
    double m_maxY = 0;
};

}  // namespace darvelon::plot
