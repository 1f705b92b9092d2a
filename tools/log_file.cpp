#include "log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace darvelon::cli {

LogFileError notRegular(const std::filesystem::path& path) {
    return LogFileError(path.string() + " is not a regular file; a log must be a file of its own");
}

void refuseUnlessRegularOrNew(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) throw notRegular(path);
}

LogFile::LogFile(const std::filesystem::path& path, bool replace)
    // O_EXCL makes the refusal atomic: no window in which another program's file is replaced.
    : m_path(path), m_fd(openLogForWriting(path, replace ? O_TRUNC : O_EXCL)) {}

LogFile::~LogFile() {
    if (m_fd >= 0) ::close(m_fd);
}

void LogFile::append(std::uint8_t byte) {
    ssize_t written;
    do written = ::write(m_fd, &byte, 1);
    while (written < 0 && errno == EINTR);
    if (written != 1) {
        const int error = written < 0 ? errno : ENOSPC;
        throw LogFileError("cannot write " + m_path.string() + ": " + std::strerror(error));
    }
    ++m_size;
}

void LogFile::close() {
    const int fd = m_fd;
    m_fd = -1;
    if (fd >= 0 && ::close(fd) != 0) {
        throw LogFileError("cannot close " + m_path.string() + ": " + std::strerror(errno));
    }
}

}  // namespace darvelon::cli
