#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "port_availability.h"
#include "serial/serial_terminal.h"

namespace darvelon::cli {
namespace {

std::string permissionHint(const std::filesystem::path& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) return std::string("no permission: ") + std::strerror(errno);
    // A group is worth joining only when its members may both read and write the device.
    const struct group* g = ::getgrgid(info.st_gid);
    if (g && (info.st_mode & S_IRGRP) && (info.st_mode & S_IWGRP)) {
        const std::string groupName = g->gr_name;
        return "no permission; add yourself to the " + groupName + " group (sudo usermod -aG " + groupName +
               " $USER) and log in again";
    }
    const struct passwd* owner = ::getpwuid(info.st_uid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", unsigned(info.st_mode & 07777));
    return "no permission; owned by " + (owner ? std::string(owner->pw_name) : std::to_string(info.st_uid)) +
           " with mode " + mode + ", so no group grants read and write";
}

}  // namespace

Availability checkAvailability(const std::filesystem::path& device) {
    // Asking first spares a real port the modem-line change an open would cause.
    if (::access(device.c_str(), R_OK | W_OK) != 0) {
        if (errno == EACCES) return {false, permissionHint(device)};
        return {false, std::strerror(errno)};
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // EBUSY: another program holds it with exclusive use (TIOCEXCL), as a recording does.
        if (errno == EBUSY) return {false, "in use by another program"};
        if (errno == EACCES) return {false, permissionHint(device)};
        return {false, std::strerror(errno)};
    }
    Availability result{true, {}};
    if (!serial::isSerialTerminal(fd)) result = {false, "not a serial terminal device"};
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) result = {false, "in use by another program"};
    ::close(fd);
    return result;
}

}  // namespace darvelon::cli
