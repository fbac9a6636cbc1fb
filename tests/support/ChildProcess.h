#pragma once

#include "tests/support/TempDir.h"

#include <chrono>
#include <string>
#include <vector>

/// A program started by a test, running beside it. Its standard output and error go to files
/// that can be read while it runs.
class ChildProcess {
public:
    /// Starts argv[0] (looked up in PATH when it holds no '/') with the arguments, in the
    /// current environment plus `environment` ("NAME=value" entries), in the folder
    /// `workingDirectory` (empty: the test's own).
    ChildProcess(const std::vector<std::string>& argv,
                 const std::vector<std::string>& environment = {},
                 const std::string& workingDirectory = {});
    /// Kills the program if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signal);
    /// Waits for the program to end; its exit status, or -1 when it did not end in time or
    /// ended by a signal.
    int Wait(std::chrono::milliseconds timeout);
    bool Running();
    std::string Output() const;
    std::string Errors() const;
    int Pid() const { return m_pid; }

private:
    int m_pid = -1;
    int m_status = -1;
    bool m_ended = false;
    TempDir m_folder; ///< "out" and "err", the program's output and errors
};
