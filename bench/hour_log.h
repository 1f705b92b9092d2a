#pragma once
// One hour of full-rate device data: 38400 bit/s 8N1 is 3840 bytes a second, 426 frames of 9
// bytes; about 1.54 million frames, 4.6 million chart points, 13.8 MB of log.
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace darvelon::bench {

inline constexpr std::size_t kFramesPerHour = 3840 * 3600 / 9;

// An engine sweeping between idle and high speed with a wandering angle, frame by frame, so
// long runs can produce and check the stream without holding it.
class EngineStream {
public:
    void next(std::uint8_t (&f)[9]) {
        const double i = double(m_index++);
        const double rpm = 850 + 3000 * (1 + std::sin(i / 20000));
        const auto d = std::uint32_t(36e6 / rpm);
        m_stamp = (m_stamp + d) % (1u << 24);
        const double degrees = 20 + 10 * std::sin(i / 3000);
        const std::uint32_t phase = (m_stamp + (1u << 24) - std::uint32_t(d * degrees / 180)) % (1u << 24);
        const auto aux = std::uint8_t(128 + 100 * std::sin(i / 5000));
        const std::uint8_t bytes[9] = {0xFF,
                                       0xFF,
                                       std::uint8_t(m_stamp >> 16),
                                       std::uint8_t(m_stamp >> 8),
                                       std::uint8_t(m_stamp),
                                       std::uint8_t(phase >> 16),
                                       std::uint8_t(phase >> 8),
                                       std::uint8_t(phase),
                                       aux};
        std::copy(bytes, bytes + 9, f);
    }

private:
    std::uint64_t m_index = 0;
    std::uint32_t m_stamp = 0;
};

inline std::vector<std::uint8_t> engineLog(std::size_t frames) {
    std::vector<std::uint8_t> out(frames * 9);
    EngineStream stream;
    for (std::size_t i = 0; i < frames; ++i) stream.next(*reinterpret_cast<std::uint8_t(*)[9]>(out.data() + 9 * i));
    return out;
}

// The hour written once per process to a file in the temporary folder, for benchmarks that go
// through the file as a user would; a HourLogFile removes it when it goes.
class HourLogFile {
public:
    explicit HourLogFile(const std::string& tag)
        : m_path(std::filesystem::temp_directory_path() /
                 ("darvelon-bench-" + tag + "-" + std::to_string(::getpid()) + ".dcc")) {
        const auto log = engineLog(kFramesPerHour);
        std::ofstream(m_path, std::ios::binary)
            .write(reinterpret_cast<const char*>(log.data()), std::streamsize(log.size()));
    }
    ~HourLogFile() {
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
    }
    HourLogFile(const HourLogFile&) = delete;
    HourLogFile& operator=(const HourLogFile&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace darvelon::bench
