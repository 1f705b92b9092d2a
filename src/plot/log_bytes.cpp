#include "plot/log_bytes.h"

#include <stdexcept>

namespace darvelon::plot {

LogFileBytes::LogFileBytes(const std::filesystem::path& path) : m_file(path, std::ios::binary) {
    if (!m_file) throw std::runtime_error("Cannot open file \"" + path.string() + "\"");
}

std::size_t LogFileBytes::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    // A read that ran into the end leaves the stream failed; the next one starts clean.
    m_file.clear();
    if (!m_file.seekg(std::streamoff(offset))) return 0;
    m_file.read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size()));
    return std::size_t(m_file.gcount());
}

}  // namespace darvelon::plot
