#pragma once

#include <string>

struct CommandResult {
    int exitStatus = -1; ///< the exit status, or -1 when the command did not exit normally
    std::string out;     ///< standard output
    std::string err;     ///< standard error
};

/// Runs a shell command line, feeding `input` to its standard input, and collects its output.
CommandResult RunCommand(const std::string& commandLine, const std::string& input = {});

/// The text quoted for a POSIX shell.
std::string ShellQuote(const std::string& text);
