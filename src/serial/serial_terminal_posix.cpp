#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "serial/serial_terminal.h"

namespace darvelon::serial {
namespace {

// The character devices of major 5: 0 is /dev/tty, 1 /dev/console, 2 /dev/ptmx.
constexpr unsigned kTtyAuxMajor = 5;
constexpr unsigned kLastTtyAuxMinor = 2;

}  // namespace

bool isSerialTerminal(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !::isatty(fd)) return false;
    if (::major(info.st_rdev) == kTtyAuxMajor && ::minor(info.st_rdev) <= kLastTtyAuxMinor) return false;
    unsigned ptyNumber = 0;
    return ::ioctl(fd, TIOCGPTN, &ptyNumber) != 0;  // only a master answers it
}

}  // namespace darvelon::serial
