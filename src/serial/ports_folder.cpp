#include "ports_folder.h"

#include <cstdlib>
#include <string>

namespace darvelon::serial {

std::filesystem::path portsFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    // The XDG rules say a relative value is invalid and must be ignored.
    if (dataHome && *dataHome && std::filesystem::path(dataHome).is_absolute()) {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : "/") / ".local" / "share";
    }
    return base / "darvelon" / "ports";
}

std::filesystem::path portEntry(int portNumber) {
    return portsFolder() / ("com" + std::to_string(portNumber));
}

}  // namespace darvelon::serial
