#include "tests/support/ChildProcess.h"

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment,
                           const std::string& workingDirectory) {
    // env sets the variables and the folder, then runs the program found in PATH.
    std::vector<std::string> words{"env"};
    if (!workingDirectory.empty()) {
        words.insert(words.end(), {"-C", workingDirectory});
    }
    words.insert(words.end(), environment.begin(), environment.end());
    words.insert(words.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (std::string& word : words) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);

    // The test may block signals; the program must not inherit that.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const auto& [fd, name] : {std::pair{1, "out"}, {2, "err"}}) {
        posix_spawn_file_actions_addopen(&actions, fd, m_folder.file(name).c_str(),
                                         O_WRONLY | O_CREAT, 0644);
    }
    const int error = ::posix_spawnp(&m_pid, "env", &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        throw std::runtime_error("cannot start env");
    }
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        ::kill(m_pid, SIGKILL);
        Wait(std::chrono::seconds(5));
    }
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
    const Bytes b = ReadFileBytes(m_folder.file("out"));
    return std::string(b.begin(), b.end());
}

std::string ChildProcess::Errors() const {
    const Bytes b = ReadFileBytes(m_folder.file("err"));
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
