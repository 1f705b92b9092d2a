#include "log_file.h"

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

}  // namespace darvelon::cli
