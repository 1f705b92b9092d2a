#pragma once
// The angle against engine speed: frames sorted into speed bins of a fixed width, each bin with
// its frame count and the mean, lowest and highest angle. Fed frame by frame as a FrameSink, so
// a log, a replay or the chart's frames build it in one pass without being held.
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "decoder/frame.h"

namespace darvelon::analysis {

inline constexpr double kDefaultBinRpm = 100;
// Speeds are whole rpm, so narrower bins only split nothing further; the floor keeps bin
// numbers exact in a double at the highest speed the counter can show (36 million rpm).
inline constexpr double kMinBinRpm = 0.001;

struct CurveBin {
    double fromRpm = 0;  // the bin holds speeds in [fromRpm, toRpm)
    double toRpm = 0;
    std::uint64_t frames = 0;
    double meanDeg = 0;  // angle.degrees, before the chart's x 100
    double minDeg = 0;
    double maxDeg = 0;
};

// Seconds since the first frame the table is handed (at 0 s), both ends included.
struct TimeWindow {
    double fromSeconds = 0;
    double toSeconds = 0;
};

class CurveTable final : public decoder::FrameSink {
public:
    // Throws std::invalid_argument when binRpm is not finite or below kMinBinRpm.
    explicit CurveTable(double binRpm = kDefaultBinRpm, std::optional<TimeWindow> window = std::nullopt);

    void frame(const decoder::Frame& f) override;

    // The bins that hold frames, by rising speed.
    std::vector<CurveBin> bins() const;
    // Frames counted into bins (those inside the window).
    std::uint64_t frames() const { return m_frames; }
    double binRpm() const { return m_binRpm; }

private:
    struct Sums {
        std::uint64_t frames = 0;
        double sum = 0;
        double min = 0;
        double max = 0;
    };
    std::int64_t binOf(double rpm) const;
    Sums& sumsOf(std::int64_t bin);

    double m_binRpm;
    std::optional<TimeWindow> m_window;
    bool m_started = false;
    std::uint64_t m_ticks = 0;  // periods of the frames after the first, up to the latest
    std::uint64_t m_frames = 0;
    std::map<std::int64_t, Sums> m_bins;
    // Speed changes slowly from frame to frame, so most frames land in the bin of the one before.
    std::int64_t m_lastBin = 0;
    Sums* m_lastSums = nullptr;
};

}  // namespace darvelon::analysis
