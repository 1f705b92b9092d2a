#pragma once
// Whether a serial device could be opened for a recording right now, and if not, why, in words
// an operator can act on.
#include <filesystem>
#include <string>

namespace darvelon::cli {

struct Availability {
    bool ready = false;
    std::string reason;  // empty when ready
};

// Opens the device briefly the way a recording would (read and write, exclusive) and lets go.
Availability checkAvailability(const std::filesystem::path& device);

}  // namespace darvelon::cli
