// cmake --install into a prefix of the test's own: every file a user runs lands in its place
// and works from there: the manual pages open with man, the systemd unit passes systemd's
// own check and names the installed program, the desktop entry is valid.

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(InstallTest, PutsEveryProgramWithItsPageUnitAndDesktopEntryInThePrefix) {
    TempDir prefix;
    const CommandResult installed =
        RunCommand(ShellQuote(CMAKE_COMMAND) + " --install " + ShellQuote(QUILLON_BUILD_DIR) +
                   " --prefix " + ShellQuote(prefix.path()));
    ASSERT_EQ(installed.exitStatus, 0) << installed.out << installed.err;

    std::vector<std::string> programs{"quillon-play", "quillon-pla"};
    if (QUILLON_WITH_UI) {
        programs.push_back("quillon");
    }
    const std::string manPath = prefix.file("share/man");
    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        const fs::path binary = prefix.file("bin/" + program);
        EXPECT_TRUE(fs::is_regular_file(binary));
        EXPECT_NE(fs::status(binary).permissions() & fs::perms::owner_exec, fs::perms::none);

        const CommandResult page =
            RunCommand("MANWIDTH=80 man -M " + ShellQuote(manPath) + " " + program);
        EXPECT_EQ(page.exitStatus, 0) << page.err;
        EXPECT_NE(page.out.find("NAME\n       " + program + " - "), std::string::npos) << page.out;
        const CommandResult lint =
            RunCommand("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l " +
                       ShellQuote(manPath + "/man1/" + program + ".1") + " >/dev/null");
        EXPECT_EQ(lint.err, "") << "the page formats without warnings";
    }

    const std::string unit = prefix.file("share/systemd/user/quillon-play.service");
    EXPECT_NE(readText(unit).find("\nExecStart=" + prefix.file("bin/quillon-play") + "\n"),
              std::string::npos)
        << readText(unit);
    // systemd checks the unit's settings, that ExecStart can run, and that man finds its
    // Documentation= page; its user mode wants a runtime folder.
    TempDir runtime;
    const CommandResult verified = RunCommand(
        "XDG_RUNTIME_DIR=" + ShellQuote(runtime.path()) + " MANPATH=" + ShellQuote(manPath) +
        ": systemd-analyze --user verify " + ShellQuote(unit) + " 2>&1");
    EXPECT_EQ(verified.exitStatus, 0) << verified.out;
    EXPECT_EQ(verified.out, "") << "no complaints";

    if (QUILLON_WITH_UI) {
        const std::string entry = prefix.file("share/applications/quillon.desktop");
        const CommandResult valid = RunCommand("desktop-file-validate " + ShellQuote(entry));
        EXPECT_EQ(valid.exitStatus, 0) << valid.out << valid.err;
        EXPECT_EQ(valid.out, "");
        EXPECT_TRUE(
            fs::is_regular_file(prefix.file("share/icons/hicolor/scalable/apps/quillon.svg")));
    }
}

} // namespace
