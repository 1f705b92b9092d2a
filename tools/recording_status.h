#pragma once
// What a headless recording shows about itself: the latest frame's speed and angle and how many
// frames came, read from the decoder's frames, and the one-line summary of it all.
#include <cstdint>
#include <string>

#include "decoder/frame.h"

namespace darvelon::cli {

class RecordingStatus : public decoder::FrameSink {
public:
    void frame(const decoder::Frame& f) override;

    std::uint64_t frames() const { return m_frames; }

    // "12345 bytes  1370 frames  850 rpm  12.40°  00:01:23", with the zero periods when any.
    std::string line(double elapsedSeconds, std::uint64_t bytes, std::uint64_t zeroPeriods) const;

private:
    std::uint64_t m_frames = 0;
    double m_rpm = 0;
    double m_angleDeg = 0;
};

}  // namespace darvelon::cli
