#pragma once
// Reads one line of `darvelon-cli ports`: "COM6   /dev/pts/3   pinned  ready".
#include <optional>
#include <sstream>
#include <string>

namespace darvelon::cli::testing {

struct PortLine {
    std::string device;  // "-" when none
    std::string source;  // "pinned", "found" or empty
    std::string state;   // "ready", "no device", "not available: ..."
};

inline std::optional<PortLine> portLine(const std::string& listing, int port) {
    std::istringstream lines(listing);
    const std::string name = "COM" + std::to_string(port);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string first;
        PortLine result;
        if (!(fields >> first) || first != name || !(fields >> result.device)) continue;
        std::string word;
        fields >> word;
        if (word == "pinned" || word == "found") {
            result.source = word;
            word.clear();
        }
        std::string rest;
        std::getline(fields, rest);
        result.state = word.empty() ? rest : word + rest;
        result.state.erase(0, result.state.find_first_not_of(' '));
        return result;
    }
    return std::nullopt;
}

}  // namespace darvelon::cli::testing
