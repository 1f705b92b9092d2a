#pragma once
// The command line as UTF-8 and standard streams that carry bytes unchanged, on every platform:
// Windows hands main() its arguments in the ANSI code page and turns "\n" into "\r\n".
#include <filesystem>
#include <string>
#include <vector>

namespace darvelon::cli {

// Every argument after the program's name, in UTF-8.
std::vector<std::string> utf8Arguments(int argc, char** argv);
// Binary standard output and UTF-8 console text. Call before anything is written.
void prepareStandardStreams();

// A file name given on the command line.
inline std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace darvelon::cli
