#pragma once
// The log a headless recording writes: every byte handed to the operating system on its own, as
// the window does, so the file holds every processed byte whatever happens to the process.
#include <cstdint>
#include <filesystem>
#include <stdexcept>

namespace darvelon::cli {

class LogFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The refusal of a path that is not a plain file.
LogFileError notRegular(const std::filesystem::path& path);

// Opens `path` for writing as a log: created with `flags` added (O_EXCL, O_TRUNC), never a named
// pipe, device or folder, and never blocking on one. Returns the descriptor (a C runtime one on
// Windows, where writes are binary); throws LogFileError.
int openLogForWriting(const std::filesystem::path& path, int flags);
// Throws LogFileError when `path` exists and is not a regular file: checked before a recording
// takes the port, so that a bad name never holds it.
void refuseUnlessRegularOrNew(const std::filesystem::path& path);

class LogFile {
public:
    // Creates the log; an existing file is replaced only when `replace`. Throws LogFileError,
    // whose message says why (an existing file included).
    LogFile(const std::filesystem::path& path, bool replace);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    void append(std::uint8_t byte);  // one write(2); throws LogFileError
    void close();                    // throws LogFileError when the system reports a failure
    std::uint64_t size() const { return m_size; }

private:
    std::filesystem::path m_path;
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

}  // namespace darvelon::cli
