// The port list on Windows: COMn is the system's COMn, so the list says which of them the
// system knows and whether a recording could open each one now.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "ports_command.h"
#include "serial/port_resolver.h"

namespace darvelon::cli {
namespace {

// The window's spinner offers these.
constexpr int kFirstPort = 1;
constexpr int kLastPort = 25;

std::string systemMessage(DWORD error) {
    char text[256];
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                          text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(error) : message;
}

// Opens the port the way a recording would (read and write, exclusive) and lets go at once.
std::string availability(const std::filesystem::path& device) {
    const HANDLE port = ::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A serial driver answers a second opener with "access denied".
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
            return "not available: in use by another program";
        return "not available: " + systemMessage(error);
    }
    DCB settings{};
    settings.DCBlength = sizeof settings;
    const bool serial = ::GetCommState(port, &settings) != 0;
    ::CloseHandle(port);
    return serial ? "ready" : "not available: not a serial port";
}

void listPorts() {
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const auto device = serial::resolvePortDevice(n);
        char head[96];
        std::snprintf(head, sizeof head, "COM%-3d %-24s %-7s ", n, device ? device->string().c_str() : "-",
                      device ? "found" : "");
        std::cout << head << (device ? availability(*device) : "no device") << "\n";
    }
}

}  // namespace

void addPortsCommand(CLI::App& app, int& exitCode) {
    CLI::App* cmd = app.add_subcommand(
        "ports",
        "List COM1 to COM25: the ports the system knows and whether each can be opened now, or why not.\n"
        "Exit status: 0.");
    cmd->callback([&exitCode] {
        listPorts();
        exitCode = 0;
    });
}

}  // namespace darvelon::cli
