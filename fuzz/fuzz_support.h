#pragma once
// Shared by the fuzz targets: a second, deliberately plain reading of the frame format to hold
// the decoder against, a point recorder, and checks that abort with a message libFuzzer keeps.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "decoder/extended_math.h"
#include "decoder/plot_target.h"

namespace darvelon::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_CHECK(cond) ((cond) ? void(0) : ::darvelon::fuzz::fail(__FILE__, __LINE__, #cond))

// Doubles compared by their bits: -0 and +0 must not pass for each other, nor NaN for anything.
inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Point {
    int index;
    std::int32_t x;
    double y;
    decoder::Rgb colour;
    friend bool operator==(const Point& a, const Point& b) {
        return a.index == b.index && a.x == b.x && sameBits(a.y, b.y) && a.colour == b.colour;
    }
};

class Recorder : public decoder::PlotTarget {
public:
    void add(int index, std::int32_t x, double y, decoder::Rgb colour) override {
        points.push_back({index, x, y, colour});
    }
    std::vector<Point> points;
};

// One complete frame as the plain reading finds it; `end` is the offset of its last byte.
struct RefFrame {
    std::uint32_t period;
    std::uint32_t phase;
    std::uint8_t aux;
    std::size_t end;
};

// Frames are two 0xFF bytes followed by seven bytes taken whatever they are. Written as a scan
// over offsets rather than a state machine, so it shares no structure with the decoder.
inline std::vector<RefFrame> referenceFrames(std::span<const std::uint8_t> d) {
    std::vector<RefFrame> frames;
    std::size_t i = 0;
    while (i + 1 < d.size()) {
        if (d[i] != 0xFF || d[i + 1] != 0xFF) {
            ++i;
            continue;
        }
        if (i + 9 > d.size()) break;  // a trailing partial frame never completes
        const auto u24 = [&](std::size_t at) {
            return (std::uint32_t(d[at]) << 16) | (std::uint32_t(d[at + 1]) << 8) | d[at + 2];
        };
        frames.push_back({u24(i + 2), u24(i + 5), d[i + 8], i + 8});
        i += 9;
    }
    return frames;
}

// The eighteen divisors of 36e6 whose speed the extended-precision chain rounds one below.
inline bool speedRoundsBelow(std::uint32_t d) {
    static constexpr std::uint32_t kLow[] = {9,    18,   36,   72,   144,   288,   576,   1125,   1152,
                                             2250, 2304, 4500, 9000, 18000, 36000, 72000, 144000, 288000};
    for (auto p : kLow)
        if (p == d) return true;
    return false;
}

struct Expected {
    struct Frame {
        std::uint32_t period;  // ticks since the previous frame
        double degrees;
    };
    std::vector<Point> points;
    std::vector<Frame> frameValues;  // one per plotted frame
    bool zeroPeriod = false;
    std::size_t consumed = 0;  // bytes a decoder steps before it stops (all of them without a stop)
    std::int32_t frames = 0;   // plotted frames
};

// What a freshly reset decoder must plot for `d`, given the starting toggle.
inline Expected expectedPlot(std::span<const std::uint8_t> data, bool toggle) {
    Expected e;
    e.consumed = data.size();
    const auto frames = referenceFrames(data);
    for (std::size_t k = 1; k < frames.size(); ++k) {
        const std::uint32_t d = (frames[k].period - frames[k - 1].period) & (decoder::kStampModulus - 1);
        if (d == 0) {
            e.zeroPeriod = true;
            e.consumed = frames[k].end + 1;
            break;
        }
        const double speed = double(36'000'000u / d - (speedRoundsBelow(d) ? 1 : 0));
        const auto diff = std::int32_t(frames[k].period) - std::int32_t(frames[k].phase);
        // The software path does the extended arithmetic bit by bit; the hardware path must agree.
        const decoder::Angle a = decoder::anglePortable(diff, d);
        e.frameValues.push_back({d, a.degrees});
        const std::int32_t x = e.frames++;
        e.points.push_back(toggle ? Point{decoder::kSpeedOddSeries, x, speed, decoder::kRed}
                                  : Point{decoder::kSpeedEvenSeries, x, speed, decoder::kBlue});
        toggle = !toggle;
        e.points.push_back({decoder::kAngleSeries, x, a.times100, decoder::kBlack});
        e.points.push_back({decoder::kAuxSeries, x, frames[k].aux * 10.0, decoder::kGreen});
    }
    return e;
}

// Structural checks on any point list a decoder produced from a fresh reset.
inline void checkPointShape(const std::vector<Point>& points) {
    FUZZ_CHECK(points.size() % 3 == 0);
    std::int32_t lastX[decoder::kSeriesCount] = {-1, -1, -1, -1};
    for (std::size_t i = 0; i < points.size(); i += 3) {
        const Point& speed = points[i];
        const Point& angle = points[i + 1];
        const Point& aux = points[i + 2];
        FUZZ_CHECK(speed.x == angle.x && angle.x == aux.x);
        FUZZ_CHECK(speed.x == std::int32_t(i / 3));
        FUZZ_CHECK((speed.index == decoder::kSpeedOddSeries && speed.colour == decoder::kRed) ||
                   (speed.index == decoder::kSpeedEvenSeries && speed.colour == decoder::kBlue));
        FUZZ_CHECK(angle.index == decoder::kAngleSeries && angle.colour == decoder::kBlack);
        FUZZ_CHECK(aux.index == decoder::kAuxSeries && aux.colour == decoder::kGreen);
        if (i >= 3) FUZZ_CHECK(speed.index != points[i - 3].index);  // the speed series alternate
        for (const Point* p : {&speed, &angle, &aux}) {
            FUZZ_CHECK(std::isfinite(p->y));
            FUZZ_CHECK(p->x >= lastX[p->index]);
            lastX[p->index] = p->x;
        }
        FUZZ_CHECK(speed.y >= 2 && speed.y <= 36'000'000 && speed.y == std::trunc(speed.y));
        FUZZ_CHECK(aux.y >= 0 && aux.y <= 2550);
        // |diff| < 2^24 and d >= 1, so the angle stays within 180 * (2^24 - 1) degrees.
        FUZZ_CHECK(std::fabs(angle.y) <= 100.0 * 180.0 * 16'777'215.0);
    }
}

// Deterministic pseudo-random numbers seeded from the input, so a crash reproduces from the
// input file alone.
class SplitMix {
public:
    explicit SplitMix(std::span<const std::uint8_t> data) {
        std::uint64_t h = 0xcbf29ce484222325ull;
        for (auto b : data) h = (h ^ b) * 0x100000001b3ull;
        m_state = h;
    }
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t m_state;
};

}  // namespace darvelon::fuzz
