#include "port_availability.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace darvelon::cli {
namespace {

std::string permissionHint(const std::filesystem::path& device) {
    struct stat info {};
    std::string groupName = "dialout";
    if (::stat(device.c_str(), &info) == 0) {
        if (const struct group* g = ::getgrgid(info.st_gid)) groupName = g->gr_name;
    }
    return "no permission; add yourself to the " + groupName + " group (sudo usermod -aG " + groupName +
           " $USER) and log in again";
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
    if (!::isatty(fd)) result = {false, "not a terminal device"};
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) result = {false, "in use by another program"};
    ::close(fd);
    return result;
}

}  // namespace darvelon::cli
