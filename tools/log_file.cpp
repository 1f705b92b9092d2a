#include "log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace darvelon::cli {

namespace {

LogFileError notRegular(const std::filesystem::path& path) {
    return LogFileError(path.string() + " is not a regular file; a log must be a file of its own");
}

}  // namespace

void refuseUnlessRegularOrNew(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) throw notRegular(path);
}

int openLogForWriting(const std::filesystem::path& path, int flags) {
    // O_NONBLOCK: opening a named pipe would otherwise wait for a reader, deaf to Ctrl-C.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags, 0666);
    if (fd < 0) {
        if (errno == EEXIST) throw LogFileError(path.string() + " exists; use --force to replace it");
        if (errno == ENXIO) throw notRegular(path);  // a pipe nobody reads
        throw LogFileError("cannot create " + path.string() + ": " + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw notRegular(path);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
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
