#pragma once
// The device's frame on the wire and in a .dcc log: FF FF, the period stamp and the phase stamp
// as 24-bit big-endian counts of a 1.2 MHz counter that wraps at 2^24, then the auxiliary byte.
// The decoder, the simulated device and the tests all build and read frames through this.
#include <array>
#include <cstddef>
#include <cstdint>

namespace darvelon::decoder {

inline constexpr std::uint8_t kSyncByte = 0xFF;  // twice, at offsets 0 and 1
inline constexpr std::size_t kFrameSize = 9;
inline constexpr std::size_t kPeriodStampOffset = 2;
inline constexpr std::size_t kPhaseStampOffset = 5;
inline constexpr std::size_t kAuxOffset = 8;

inline constexpr double kTicksPerSecond = 1'200'000.0;
inline constexpr std::uint32_t kStampModulus = 1u << 24;  // the counter wraps here

using FrameBytes = std::array<std::uint8_t, kFrameSize>;

// Stamps are taken modulo 2^24.
constexpr FrameBytes encodeFrame(std::uint32_t periodStamp, std::uint32_t phaseStamp, std::uint8_t aux) {
    return {kSyncByte,
            kSyncByte,
            std::uint8_t(periodStamp >> 16),
            std::uint8_t(periodStamp >> 8),
            std::uint8_t(periodStamp),
            std::uint8_t(phaseStamp >> 16),
            std::uint8_t(phaseStamp >> 8),
            std::uint8_t(phaseStamp),
            aux};
}

// The 24-bit stamp whose first byte is at `at`.
constexpr std::uint32_t readStamp(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 16) | (std::uint32_t{at[1]} << 8) | at[2];
}

}  // namespace darvelon::decoder
