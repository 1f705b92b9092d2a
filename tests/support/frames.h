#pragma once
// Building device byte streams for tests.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <vector>

#include "decoder/frame_format.h"

namespace darvelon::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes frame(std::uint32_t period, std::uint32_t phase, std::uint8_t aux) {
    const auto bytes = decoder::encodeFrame(period, phase, aux);
    return {bytes.begin(), bytes.end()};
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// n frames 7200 ticks apart (5000 rpm), phase lagging by `lag` ticks, aux counting up.
inline Bytes steadyFrames(std::size_t n, std::uint32_t lag = 1000) {
    Bytes out;
    for (std::size_t i = 0; i < n; ++i) {
        const auto stamp = std::uint32_t((i * 7200) % (1u << 24));
        const Bytes f = frame(stamp, (stamp + (1u << 24) - lag) % (1u << 24), std::uint8_t(i));
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace darvelon::test
