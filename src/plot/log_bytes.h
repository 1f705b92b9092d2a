#pragma once
// Random access to the bytes of a log, for decoding a stretch of it again: the log on disk is
// the store of a long replay or recording, and only an index of it stays in memory.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>

namespace darvelon::plot {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills `out` from `offset` on with what the log holds there; returns how many bytes it
    // got (fewer at the end, none past it).
    virtual std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// A log file, read as it is now: a log still being recorded yields what has been written.
class LogFileBytes final : public ByteSource {
public:
    explicit LogFileBytes(const std::filesystem::path& path);  // throws std::runtime_error
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::ifstream m_file;
};

}  // namespace darvelon::plot
