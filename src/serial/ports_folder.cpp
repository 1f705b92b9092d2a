#include "ports_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace darvelon::serial {

std::optional<std::filesystem::path> portsFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    // The XDG rules say a relative value is invalid and must be ignored.
    if (dataHome && *dataHome && std::filesystem::path(dataHome).is_absolute()) {
        return std::filesystem::path(dataHome) / "darvelon" / "ports";
    }
    const char* home = std::getenv("HOME");
    if (!home || !*home) return std::nullopt;
    return std::filesystem::path(home) / ".local" / "share" / "darvelon" / "ports";
}

std::optional<std::filesystem::path> portEntry(int portNumber) {
    auto folder = portsFolder();
    if (!folder) return std::nullopt;
    return *folder / ("com" + std::to_string(portNumber));
}

std::filesystem::path publicationLock(const std::filesystem::path& entry) {
    std::filesystem::path lock = entry;
    lock += ".lock";
    return lock;
}

std::optional<Publication> readPublication(const std::filesystem::path& entry) {
    const int fd = ::open(publicationLock(entry).c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        return Publication{};  // there, but unreadable: nothing we could vouch for
    }
    std::string text(256, '\0');
    const ssize_t got = ::read(fd, text.data(), text.size());
    text.resize(got > 0 ? std::size_t(got) : 0);
    Publication publication;
    publication.device = text.substr(0, text.find('\n'));
    // Only the publishing simulator ever takes the exclusive lock; a shared one disturbs
    // neither it nor other readers.
    publication.live = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return publication;
}

}  // namespace darvelon::serial
