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

}  // namespace darvelon::cli
