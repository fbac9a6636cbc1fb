#include "tests/support/ChildProcess.h"

#include "tests/support/TempDir.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

    // Everything the child needs is built before fork: after it, in a program with threads,
    // only async-signal-safe calls are allowed until exec.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& override : environment) {
            replaced = replaced || override.substr(0, override.find('=')) == name;
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    std::vector<char*> args;
    for (std::string& a : argCopy) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const int out = ::open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) {
            ::_exit(126);
        }
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    m_pid = pid;
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
    if (m_ended) {
        return false;
    }
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_ended = true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
    }
    return true;
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
