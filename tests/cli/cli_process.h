#pragma once
// Runs darvelon-cli as a child process with its own ports folder, as a user would from a shell,
// so that signals, exit codes and the pty between two processes are the real ones.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace darvelon::cli::testing {

// Long enough never to cut a healthy run short; only a hung one meets it.
inline constexpr std::chrono::seconds kDeadline{120};

template <class Predicate>
bool eventually(Predicate done, std::chrono::seconds deadline = kDeadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        // Polls a file or a process from outside; there is nothing to wake us.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A scratch folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

class CliProcess {
public:
    // Starts darvelon-cli with `args`, XDG_DATA_HOME = `dataHome`, stdout and stderr into files
    // in `outputDir` named after `tag`; as the user `asUser` (uid and gid, no other groups)
    // when given, which needs root.
    CliProcess(const std::vector<std::string>& args, const std::filesystem::path& dataHome,
               const std::filesystem::path& outputDir, const std::string& tag,
               std::optional<unsigned> asUser = std::nullopt);
    ~CliProcess();  // kills and reaps a child that is still running
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void signal(int number) const;
    // The exit status, or nullopt when it did not exit before the deadline (or died by a signal,
    // which the status then says as 128 + signal).
    std::optional<int> waitExit(std::chrono::seconds deadline = kDeadline);
    bool running();
    std::string standardOutput() const;
    std::string standardError() const;

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
    std::filesystem::path m_out;
    std::filesystem::path m_err;
};

// Runs to completion and returns {status, stdout, stderr}.
struct Finished {
    int status;
    std::string out;
    std::string err;
};
Finished runCli(const std::vector<std::string>& args, const std::filesystem::path& dataHome,
                const std::filesystem::path& outputDir, const std::string& tag);

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
std::uintmax_t sizeOr0(const std::filesystem::path& path);

}  // namespace darvelon::cli::testing
