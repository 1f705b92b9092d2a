#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "serial/port_resolver.h"
#include "serial/ports_folder.h"

namespace darvelon::serial {
namespace {

namespace fs = std::filesystem;

std::optional<int> numberAfter(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) return std::nullopt;
    const auto digits = name.substr(prefix.size());
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return number;
}

// The port type the serial core reports: sysfs needs no access to the device (opening a port to
// ask would also raise its modem lines); TIOCGSERIAL is the fallback without sysfs.
std::optional<int> serialPortType(const DeviceTree& tree, const fs::path& device) {
    std::ifstream typeFile(tree.sysClassTty / device.filename() / "type");
    int type = 0;
    if (typeFile >> type) return type;
    const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    serial_struct info{};
    const bool known = ::ioctl(fd, TIOCGSERIAL, &info) == 0;
    ::close(fd);
    return known ? std::optional<int>(info.type) : std::nullopt;
}

std::vector<fs::path> devicesNamed(const DeviceTree& tree, std::string_view prefix) {
    std::vector<std::pair<int, fs::path>> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(tree.dev, error)) {
        const auto number = numberAfter(entry.path().filename().native(), prefix);
        if (number) found.emplace_back(*number, entry.path());
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> paths;
    for (auto& [number, path] : found) paths.push_back(std::move(path));
    return paths;
}

std::optional<fs::path> pinnedDevice(const std::optional<fs::path>& entryPath) {
    if (!entryPath) return std::nullopt;
    const fs::path& entry = *entryPath;
    std::error_code error;
    const auto status = fs::symlink_status(entry, error);
    if (error || !fs::exists(status)) return std::nullopt;
    fs::path device;
    if (const auto publication = readPublication(entry)) {
        // A simulator's entry: its pseudo-terminal while the simulator lives, else nothing.
        device = fs::read_symlink(entry, error);
        if (error || !publication->live || device != publication->device) return fs::path();
        return device;
    }
    if (fs::is_symlink(status)) {
        device = fs::read_symlink(entry, error);
        if (error) return fs::path();
        if (device.is_relative()) device = entry.parent_path() / device;
        device = device.lexically_normal();
    } else if (fs::is_regular_file(status)) {
        std::ifstream file(entry);
        std::string line;
        std::getline(file, line);
        const auto first = line.find_first_not_of(" \t\r");
        const auto last = line.find_last_not_of(" \t\r");
        if (first != std::string::npos) device = line.substr(first, last - first + 1);
        // Relative to the folder, as a relative link is, never to whatever folder we run in.
        if (!device.empty() && device.is_relative()) device = (entry.parent_path() / device).lexically_normal();
    } else {
        device = entry;  // the entry is itself a device node
    }
    return device;
}

}  // namespace

std::vector<fs::path> listSerialDevices(const DeviceTree& tree) {
    std::vector<fs::path> devices = devicesNamed(tree, "ttyUSB");
    const auto acm = devicesNamed(tree, "ttyACM");
    devices.insert(devices.end(), acm.begin(), acm.end());
    for (auto& port : devicesNamed(tree, "ttyS")) {
        // The 8250 driver registers a fixed number of ports whether or not a UART answers;
        // those phantoms report the type PORT_UNKNOWN.
        const auto type = serialPortType(tree, port);
        if (type && *type == PORT_UNKNOWN) continue;
        devices.push_back(std::move(port));
    }
    return devices;
}

std::optional<fs::path> resolvePortDevice(int portNumber, const DeviceTree& tree) {
    if (const auto pinned = pinnedDevice(portEntry(portNumber))) {
        std::error_code error;
        if (pinned->empty() || !fs::exists(*pinned, error)) return std::nullopt;
        return pinned;
    }
    if (portNumber < 1) return std::nullopt;
    const auto devices = listSerialDevices(tree);
    if (static_cast<std::size_t>(portNumber) > devices.size()) return std::nullopt;
    return devices[static_cast<std::size_t>(portNumber) - 1];
}

std::optional<fs::path> resolvePortDevice(int portNumber) { return resolvePortDevice(portNumber, DeviceTree{}); }

}  // namespace darvelon::serial
