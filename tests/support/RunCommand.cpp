#include "tests/support/RunCommand.h"

#include "tests/support/TempDir.h"

#include <cstdlib>
#include <sys/wait.h>

CommandResult RunCommand(const std::string& commandLine, const std::string& input) {
    TempDir dir;
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    const std::string err = dir.file("err");
    WriteFileBytes(in, Bytes(input.begin(), input.end()));
    const std::string full = "(" + commandLine + ") <" + ShellQuote(in) + " >" + ShellQuote(out) +
                             " 2>" + ShellQuote(err);
    const int status = std::system(full.c_str());
    CommandResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes o = ReadFileBytes(out);
    const Bytes e = ReadFileBytes(err);
    result.out.assign(o.begin(), o.end());
    result.err.assign(e.begin(), e.end());
    return result;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}
