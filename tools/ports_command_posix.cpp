#include <cstdio>
#include <iostream>
#include <system_error>

#include "port_availability.h"
#include "ports_command.h"
#include "serial/port_resolver.h"
#include "serial/ports_folder.h"

namespace darvelon::cli {
namespace {

// The window's spinner offers these.
constexpr int kFirstPort = 1;
constexpr int kLastPort = 25;

void listPorts() {
    namespace fs = std::filesystem;
    const auto folder = serial::portsFolder();
    std::cout << "Ports folder: "
              << (folder ? folder->string()
                         : "none (neither XDG_DATA_HOME nor HOME is set), so no COM number is pinned")
              << "\n";
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const auto entry = serial::portEntry(n);
        std::error_code error;
        const bool pinned = entry && fs::exists(fs::symlink_status(*entry, error));
        const auto publication = pinned ? serial::readPublication(*entry) : std::nullopt;
        const auto device = serial::resolvePortDevice(n);
        std::string state;
        if (device) {
            const Availability availability = checkAvailability(*device);
            state = availability.ready ? "ready" : "not available: " + availability.reason;
        } else if (publication && !publication->live) {
            state = "not available: left by a simulator that has ended (the next simulate replaces it)";
        } else {
            state = pinned ? "not available: the pinned device is absent" : "no device";
        }
        char head[96];
        std::snprintf(head, sizeof head, "COM%-3d %-24s %-7s ", n, device ? device->c_str() : "-",
                      pinned   ? "pinned"
                      : device ? "found"
                               : "");
        std::cout << head << state << "\n";
    }
}

}  // namespace

void addPortsCommand(CLI::App& app, int& exitCode) {
    CLI::App* cmd = app.add_subcommand(
        "ports",
        "List COM1 to COM25: the device each stands for (pinned in the ports folder, or found among\n"
        "/dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*) and whether it can be opened now, or why not.\n"
        "Exit status: 0.");
    cmd->callback([&exitCode] {
        listPorts();
        exitCode = 0;
    });
}

}  // namespace darvelon::cli
