#include "ports_command.h"

#include <cstdio>
#include <iostream>
#include <system_error>

#include "port_availability.h"
#include "serial/port_resolver.h"
#include "serial/ports_folder.h"

namespace darvelon::cli {
namespace {

// The window's spinner offers these.
constexpr int kFirstPort = 1;
constexpr int kLastPort = 25;

void listPorts() {
    namespace fs = std::filesystem;
    std::cout << "Ports folder: " << serial::portsFolder().string() << "\n";
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        std::error_code error;
        const bool pinned = fs::exists(fs::symlink_status(serial::portEntry(n), error));
        const auto device = serial::resolvePortDevice(n);
        std::string state;
        if (device) {
            const Availability availability = checkAvailability(*device);
            state = availability.ready ? "ready" : "not available: " + availability.reason;
        } else {
            state = pinned ? "not available: the pinned device is absent" : "no device";
        }
        char head[96];
        std::snprintf(head, sizeof head, "COM%-3d %-24s %-7s ", n, device ? device->c_str() : "-",
                      pinned ? "pinned" : device ? "found" : "");
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
