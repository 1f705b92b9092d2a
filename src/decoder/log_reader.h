#pragma once
// Reading a .dcc log (the raw received bytes, nothing added) for replay and export. Failures
// carry the file name and the system's reason.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>

#include "frame_decoder.h"

namespace darvelon::decoder {

class LogReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class LogReader {
public:
    explicit LogReader(const std::filesystem::path& path);  // throws LogReadError
    std::uint64_t size() const { return m_size; }           // as it was when opened
    // Fills as much of `buffer` as the file still holds, up to the size it had when opened;
    // 0 at the end. Throws LogReadError.
    std::size_t read(std::span<std::uint8_t> buffer);

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::filesystem::path m_path;
    std::unique_ptr<std::FILE, Closer> m_file;
    std::uint64_t m_size = 0;
    std::uint64_t m_done = 0;
};

struct ReplayOutcome {
    std::uint64_t bytesDecoded = 0;
    bool zeroPeriod = false;  // stopped at a frame with a zero period; its last byte is at
                              // offset bytesDecoded - 1
};

// Steps the decoder through the rest of the log, reading in large blocks.
ReplayOutcome decodeLog(LogReader& log, TFrameDecoder& decoder, bool& toggle, FrameSink& frames);

}  // namespace darvelon::decoder
