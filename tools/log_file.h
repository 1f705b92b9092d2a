#pragma once
// Opening the log a headless recording or the simulator writes: never a pipe, device or folder.
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

}  // namespace darvelon::cli
