#pragma once
// Where COMn names are pinned to devices: an entry comN (a symbolic link or a file holding a
// device path) in $XDG_DATA_HOME/darvelon/ports, ~/.local/share/darvelon/ports when unset.
//
// An entry that `darvelon-cli simulate` published has a lock file comN.lock beside it, which the
// simulator holds locked for its whole life and which names the device it published. Such an
// entry stands for that device only while the lock is held: a killed simulator's pseudo-terminal
// number is soon reused by somebody else's terminal.
#include <filesystem>
#include <optional>

namespace darvelon::serial {

// Nullopt when neither XDG_DATA_HOME nor HOME says where it is.
std::optional<std::filesystem::path> portsFolder();
std::optional<std::filesystem::path> portEntry(int portNumber);  // portsFolder() / "com<N>"

std::filesystem::path publicationLock(const std::filesystem::path& entry);  // "<entry>.lock"

// What a published entry stands for.
struct Publication {
    bool live = false;             // a simulator holds the lock
    std::filesystem::path device;  // what the lock file names
};
// Nullopt when the entry has no lock file beside it, i.e. somebody made it by hand.
std::optional<Publication> readPublication(const std::filesystem::path& entry);

}  // namespace darvelon::serial
