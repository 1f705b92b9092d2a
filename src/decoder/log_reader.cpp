#include "log_reader.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace darvelon::decoder {

namespace {

std::string describe(const char* what, const std::filesystem::path& path, int error) {
    return std::string(what) + " \"" + path.string() + "\". " + std::strerror(error);
}

}  // namespace

LogReader::LogReader(const std::filesystem::path& path) : m_path(path) {
    // Opening a named pipe for reading would wait for a writer forever; a log is a plain file.
    std::error_code statError;
    const auto type = std::filesystem::status(path, statError).type();
    if (type == std::filesystem::file_type::fifo)
        throw LogReadError("Cannot open file \"" + path.string() + "\". Not a regular file");
    // Windows refuses to open a folder with "Permission denied"; say what it is everywhere.
    if (type == std::filesystem::file_type::directory) throw LogReadError(describe("Cannot open file", path, EISDIR));
    errno = 0;
#ifdef _WIN32
    // Windows paths are wide; the narrow fopen would go through the ANSI code page and miss
    // names it cannot spell.
    m_file.reset(::_wfopen(path.c_str(), L"rb"));
#else
    m_file.reset(std::fopen(path.c_str(), "rb"));
#endif
    if (!m_file) throw LogReadError(describe("Cannot open file", path, errno ? errno : ENOENT));
    // Reads come in large blocks already; a stdio buffer would only hide a file that changes.
    std::setvbuf(m_file.get(), nullptr, _IONBF, 0);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    // A directory opens fine on some systems; its size query is where it fails.
    if (ec) throw LogReadError(describe("Cannot open file", path, ec.value()));
    m_size = size;
}

std::size_t LogReader::read(std::span<std::uint8_t> buffer) {
    const std::uint64_t left = m_size - m_done;
    const std::size_t want = left < buffer.size() ? std::size_t(left) : buffer.size();
    if (want == 0) return 0;
    const std::size_t got = std::fread(buffer.data(), 1, want, m_file.get());
    if (got == 0) {
        if (std::ferror(m_file.get())) throw LogReadError(describe("Cannot read file", m_path, errno));
        throw LogReadError("Cannot read file \"" + m_path.string() + "\". It became shorter while it was being read");
    }
    m_done += got;
    return got;
}

ReplayOutcome decodeLog(LogReader& log, TFrameDecoder& decoder, bool& toggle, FrameSink& frames) {
    std::vector<std::uint8_t> block(1 << 20);
    ReplayOutcome outcome;
    while (const std::size_t n = log.read(block)) {
        const auto fed = decoder.feed(std::span(block.data(), n), toggle, frames);
        outcome.bytesDecoded += fed.consumed;
        if (fed.zeroPeriod) {
            outcome.zeroPeriod = true;
            break;
        }
    }
    return outcome;
}

}  // namespace darvelon::decoder
