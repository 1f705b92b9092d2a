// On Windows COMn is the system's own COMn: the name the driver registered. The ports folder
// and its pins are a POSIX matter.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "serial/port_resolver.h"

namespace darvelon::serial {

std::optional<std::filesystem::path> resolvePortDevice(int portNumber) {
    if (portNumber < 1) return std::nullopt;
    const std::wstring name = L"COM" + std::to_wstring(portNumber);
    // Only whether the name is defined matters; the target (\Device\Serial0, a USB driver's
    // device) may be longer than any buffer we would guess, and that still means present.
    wchar_t target[512];
    if (::QueryDosDeviceW(name.c_str(), target, sizeof target / sizeof target[0]) == 0 &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    return std::filesystem::path(L"\\\\.\\" + name);
}

}  // namespace darvelon::serial
