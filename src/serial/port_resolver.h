#pragma once
// Which device COMn stands for. A pin in the ports folder wins: an entry comN there, either a
// symbolic link to the device or a file holding its path. Without a pin, COMn is the n-th serial
// device present, counting /dev/ttyUSB*, then /dev/ttyACM*, then the /dev/ttyS* ports that have
// hardware behind them, each group in numeric order; so a lone USB adapter is COM1.
// On Windows COMn is the system's COMn, and only resolvePortDevice(int) exists there.
#include <filesystem>
#include <optional>
#include <vector>

namespace darvelon::serial {

// The device COM<portNumber> opens, or nullopt when none does (also when a pinned device is
// absent: a pin never falls back to another device).
std::optional<std::filesystem::path> resolvePortDevice(int portNumber);

// POSIX only from here on. Where devices are looked for; tests point it at a scratch tree.
struct DeviceTree {
    std::filesystem::path dev = "/dev";
    std::filesystem::path sysClassTty = "/sys/class/tty";
};

std::optional<std::filesystem::path> resolvePortDevice(int portNumber, const DeviceTree& tree);

// The unpinned serial devices present, in COM order (the first is COM1).
std::vector<std::filesystem::path> listSerialDevices(const DeviceTree& tree = {});

}  // namespace darvelon::serial
