// Opening a log on Windows: wide names, binary writes, and the device names (NUL, COM1, CON)
// that open in every folder refused as not a file.
#define WIN32_LEAN_AND_MEAN
// windows.h first: the headers after it need its macros.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "log_file.h"

namespace darvelon::cli {

int openLogForWriting(const std::filesystem::path& path, int flags) {
    const int fd =
        ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT | flags, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        if (errno == EEXIST) throw LogFileError(path.string() + " exists; use --force to replace it");
        throw LogFileError("cannot create " + path.string() + ": " + std::strerror(errno));
    }
    if (::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != FILE_TYPE_DISK) {
        ::_close(fd);
        throw notRegular(path);
    }
    return fd;
}

}  // namespace darvelon::cli
