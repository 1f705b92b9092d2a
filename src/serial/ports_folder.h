#pragma once
// Where COMn names are pinned to devices: an entry comN (a symbolic link or a file holding a
// device path) in $XDG_DATA_HOME/darvelon/ports, ~/.local/share/darvelon/ports when unset.
#include <filesystem>

namespace darvelon::serial {

std::filesystem::path portsFolder();
std::filesystem::path portEntry(int portNumber);  // portsFolder() / "com<N>"

}  // namespace darvelon::serial
