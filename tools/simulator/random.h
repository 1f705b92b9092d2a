#pragma once
// A small seeded generator (splitmix64) with our own conversion to [0, 1): the standard
// distributions differ between library implementations, and a seed must give the same stream
// on every build.
#include <cstdint>

namespace darvelon::simulator {

class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    double symmetric() { return 2.0 * uniform() - 1.0; }           // [-1, 1)
    std::uint32_t below(std::uint32_t n) { return std::uint32_t(next() % n); }

private:
    std::uint64_t m_state;
};

}  // namespace darvelon::simulator
