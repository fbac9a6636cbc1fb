#include "tests/support/ChildProcess.h"

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment,
                           const std::string& workingDirectory) {
    char folder[] = "/tmp/quillon-child-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_folder = folder;
    m_outPath = m_folder + "/out";
    m_errPath = m_folder + "/err";

    std::vector<std::string> env = environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& override : environment) {
            replaced = replaced || override.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    std::vector<std::string> args = argv;
    std::vector<char*> envp;
    std::vector<char*> argp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    for (std::string& a : args) {
        argp.push_back(a.data());
    }
    envp.push_back(nullptr);
    argp.push_back(nullptr);

    // The test may block signals; the program must not inherit that.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_outPath.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, m_errPath.c_str(), O_WRONLY | O_CREAT, 0644);
    if (!workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    }
    const int error =
        ::posix_spawnp(&m_pid, argp[0], &actions, &attributes, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        std::filesystem::remove_all(m_folder);
        throw std::runtime_error("cannot start " + argv[0]);
    }
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        ::kill(m_pid, SIGKILL);
        Wait(std::chrono::seconds(5));
    }
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

void ChildProcess::Signal(int signal) {
    if (!m_ended) {
        ::kill(m_pid, signal);
    }
}

bool ChildProcess::Running() {
    int status = 0;
    if (!m_ended && ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_ended = true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return !m_ended;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_status;
}

std::string ChildProcess::Output() const {
    const Bytes b = ReadFileBytes(m_outPath);
    return std::string(b.begin(), b.end());
}

std::string ChildProcess::Errors() const {
    const Bytes b = ReadFileBytes(m_errPath);
    return std::string(b.begin(), b.end());
}

CommandResult RunCommand(const std::string& commandLine, const std::string& input) {
    TempDir dir;
    WriteFileBytes(dir.file("in"), Bytes(input.begin(), input.end()));
    ChildProcess shell({"/bin/sh", "-c", "(" + commandLine + ") <" + ShellQuote(dir.file("in"))});
    const int status = shell.Wait(std::chrono::hours(1));
    return {status, shell.Output(), shell.Errors()};
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}
