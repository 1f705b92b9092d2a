// The arguments come from the wide command line, because argv holds them in the ANSI code page,
// which cannot spell most file names.
#define WIN32_LEAN_AND_MEAN
// windows.h first: the headers after it need its macros.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "program_arguments.h"

namespace darvelon::cli {

std::vector<std::string> utf8Arguments(int, char**) {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> wide(::CommandLineToArgvW(::GetCommandLineW(), &count),
                                                               &::LocalFree);
    if (!wide) throw std::runtime_error("cannot read the command line");
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        const wchar_t* argument = wide.get()[i];
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, argument, -1, nullptr, 0, nullptr, nullptr);
        std::string text(size > 0 ? std::size_t(size) : 1, '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, argument, -1, text.data(), size, nullptr, nullptr);
        text.pop_back();  // the terminating NUL the call counted
        arguments.push_back(std::move(text));
    }
    return arguments;
}

void prepareStandardStreams() {
    // CSV rows end in "\n" as on Linux, so that both builds write the same bytes.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
    // The recording's status line rewrites itself with "\r\033[K"; a console shows escape
    // sequences as text unless asked to interpret them (Windows 10 and later can).
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(error, &mode)) ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace darvelon::cli
