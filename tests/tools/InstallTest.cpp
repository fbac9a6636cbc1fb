// cmake --install into a prefix of the test's own: every file a user runs lands in its place
// and works from there: man finds the pages, systemd accepts the unit, which starts the
// installed program.

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

TEST(InstallTest, PutsEveryProgramWithItsPageUnitAndDesktopEntryInThePrefix) {
    TempDir prefix;
    const CommandResult installed =
        RunCommand(ShellQuote(CMAKE_COMMAND) + " --install " + ShellQuote(QUILLON_BUILD_DIR) +
                   " --prefix " + ShellQuote(prefix.path()));
    ASSERT_EQ(installed.exitStatus, 0) << installed.out << installed.err;

    std::vector<std::string> programs{"quillon-play", "quillon-pla"};
    std::vector<std::string> files{"share/systemd/user/quillon-play.service"};
    if (QUILLON_WITH_UI) {
        programs.push_back("quillon");
        files.push_back("share/applications/quillon.desktop");
        files.push_back("share/icons/hicolor/scalable/apps/quillon.svg");
    }
    const std::string manPath = prefix.file("share/man");
    for (const std::string& program : programs) {
        EXPECT_EQ(::access(prefix.file("bin/" + program).c_str(), X_OK), 0) << program;
        const CommandResult page =
            RunCommand("MANWIDTH=80 man --warnings -M " + ShellQuote(manPath) + " " + program);
        EXPECT_NE(page.out.find("NAME\n       " + program + " - "), std::string::npos) << page.out;
        EXPECT_EQ(page.err, "") << "the page of " << program << " formats without warnings";
    }
    for (const std::string& file : files) {
        EXPECT_TRUE(std::filesystem::is_regular_file(prefix.file(file))) << file;
    }

    // systemd checks the settings, that ExecStart runs, and that man finds the page that
    // Documentation= names; its user mode wants a runtime folder.
    const std::string unit = prefix.file(files[0]);
    TempDir runtime;
    const CommandResult verified = RunCommand(
        "XDG_RUNTIME_DIR=" + ShellQuote(runtime.path()) + " MANPATH=" + ShellQuote(manPath) +
        ": systemd-analyze --user verify " + ShellQuote(unit) + " 2>&1 && grep -xF " +
        ShellQuote("ExecStart=" + prefix.file("bin/quillon-play")) + " " + ShellQuote(unit));
    EXPECT_EQ(verified.exitStatus, 0) << verified.out;
    EXPECT_EQ(verified.out, "ExecStart=" + prefix.file("bin/quillon-play") + "\n")
        << "nothing to complain of, and the unit starts the installed program";
}

} // namespace
