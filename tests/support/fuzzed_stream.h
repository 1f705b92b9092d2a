#pragma once
// A hostile but unambiguous device stream, with every frame's period known without decoding:
// random phases (angles of either sign and any size), stray bytes between frames (never 0xFF,
// so the framing is never in doubt), periods of every size so the counter wraps again and
// again, and speeds that fall exactly on round numbers of rpm.
#include <cstdint>
#include <random>
#include <vector>

#include "support/frames.h"

namespace darvelon::test {

struct FuzzedStream {
    Bytes bytes;
    std::vector<std::uint32_t> periods;  // in ticks, of each plotted frame (every frame but the first)

    // Of each plotted frame, from the first: the sum of the periods after it.
    std::vector<double> seconds() const {
        std::vector<double> out;
        std::uint64_t ticks = 0;
        for (std::size_t i = 0; i < periods.size(); ++i) {
            if (i > 0) ticks += periods[i];
            out.push_back(double(ticks) / decoder::kTicksPerSecond);
        }
        return out;
    }
};

inline FuzzedStream fuzzedStream(unsigned seed, std::size_t frames) {
    std::mt19937 random(seed);
    FuzzedStream s;
    std::uint32_t stamp = random() % decoder::kStampModulus;
    for (std::size_t i = 0; i < frames; ++i) {
        if (random() % 4 == 0) {
            for (unsigned n = 1 + random() % 3; n > 0; --n) s.bytes.push_back(std::uint8_t(random() % 0xFF));
        }
        if (i > 0) {
            std::uint32_t d = 0;
            switch (random() % 4) {
            case 0: d = 1 + random() % (decoder::kStampModulus - 1); break;
            case 1: {
                // A multiple of 100 rpm that divides 36e6: exactly that speed (or for a few, one below).
                std::uint32_t rpm = 0;
                do rpm = 100 * (1 + random() % 100);
                while (36'000'000 % rpm != 0);
                d = 36'000'000 / rpm;
                break;
            }
            default: d = 3000 + random() % 40000; break;  // an engine between 830 and 12000 rpm
            }
            s.periods.push_back(d);
            stamp = (stamp + d) % decoder::kStampModulus;
        }
        const Bytes f = frame(stamp, random() % decoder::kStampModulus, std::uint8_t(random()));
        s.bytes.insert(s.bytes.end(), f.begin(), f.end());
    }
    return s;
}

}  // namespace darvelon::test
