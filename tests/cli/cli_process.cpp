#include "cli_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace darvelon::cli::testing {
namespace {

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "darvelon-cli-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

CliProcess::CliProcess(const std::vector<std::string>& args, const std::filesystem::path& dataHome,
                       const std::filesystem::path& outputDir, const std::string& tag, std::optional<unsigned> asUser)
    : m_out(outputDir / (tag + ".out")), m_err(outputDir / (tag + ".err")) {
    std::vector<std::string> strings;
    if (asUser) {
        const std::string id = std::to_string(*asUser);
        strings = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
    }
    strings.push_back(DARVELON_CLI);
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        if (std::string_view(*e).starts_with("XDG_DATA_HOME=")) continue;
        environment.emplace_back(*e);
    }
    environment.push_back("XDG_DATA_HOME=" + dataHome.string());
    std::vector<char*> envp;
    for (auto& s : environment) envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The child starts with default signal dispositions whatever the test runner set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int error = ::posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + strings[0]);
}

CliProcess::~CliProcess() {
    if (!m_status && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

void CliProcess::signal(int number) const { ::kill(m_pid, number); }

bool CliProcess::running() {
    if (m_status) return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return true;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

std::optional<int> CliProcess::waitExit(std::chrono::seconds deadline) {
    eventually([this] { return !running(); }, deadline);
    return m_status;
}

std::string CliProcess::standardOutput() const { return readText(m_out); }
std::string CliProcess::standardError() const { return readText(m_err); }

Finished runCli(const std::vector<std::string>& args, const std::filesystem::path& dataHome,
                const std::filesystem::path& outputDir, const std::string& tag) {
    CliProcess process(args, dataHome, outputDir, tag);
    const auto status = process.waitExit();
    return {status.value_or(-1), process.standardOutput(), process.standardError()};
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uintmax_t sizeOr0(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace darvelon::cli::testing
