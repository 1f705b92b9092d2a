#include "log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace darvelon::cli {

LogFile::LogFile(const std::filesystem::path& path, bool replace) : m_path(path) {
    // O_EXCL makes the refusal atomic: no window in which another program's file is replaced.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL);
    m_fd = ::open(path.c_str(), flags, 0666);
    if (m_fd < 0) {
        if (errno == EEXIST) throw LogFileError(path.string() + " exists; use --force to replace it");
        throw LogFileError("cannot create " + path.string() + ": " + std::strerror(errno));
    }
}

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
