#include "app/StartupShortcut.h"

#include "app/Globals.h"
#include "tests/platform/registry/TextFiles.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

/// Whether desktop-file-validate accepts the entry; what it said otherwise.
testing::AssertionResult validates(const std::string& entry) {
    const CommandResult result = RunCommand("desktop-file-validate " + ShellQuote(entry));
    if (result.exitStatus == 0 && result.out.empty() && result.err.empty()) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << result.out << result.err;
}

/// The user's configuration folder in a scratch folder, a data folder, and a program.
class StartupShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        fs::create_directories(dir.file("data"));
        g_szCurrentDir = dir.file("data");
        g_bStartWithWindows = 0;
    }

    /// A program that notes the folder it was started in and its own path.
    std::string makeProgram(const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        writeText(path, "#!/bin/sh\n{ pwd; echo \"$0\"; } > " + ShellQuote(dir.file("ran")) +
                            ".tmp\nmv " + ShellQuote(dir.file("ran")) + ".tmp " +
                            ShellQuote(dir.file("ran")) + "\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }

    std::string autostart() const { return dir.file("config/autostart"); }
    std::string entry() const { return autostart() + "/Quillon.desktop"; }

    TempDir dir;
};

TEST_F(StartupShortcutTest, FindsOrMakesTheAutostartFolder) {
    std::string folder = "unchanged";
    EXPECT_EQ(GetStartupFolder(folder), 0);
    EXPECT_EQ(folder, autostart());
    EXPECT_TRUE(fs::is_directory(autostart()));
    EXPECT_EQ(GetStartupFolder(folder), 0);

    // A file where the folder should be: the lookup fails, and maintenance does nothing.
    writeText(dir.file("blocked"), "");
    ::setenv("XDG_CONFIG_HOME", dir.file("blocked").c_str(), 1);
    folder = "unchanged";
    EXPECT_NE(GetStartupFolder(folder), 0);
    EXPECT_EQ(folder, "unchanged");
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(makeProgram(dir.file("bin/quillon")));
    EXPECT_EQ(readText(dir.file("blocked")), "");
}

// The entry is what a desktop session starts: launch it the way one does and see the program
// run, in the data folder, from the path it was given: blanks and quotes would split or end the
// path unless escaped. (GLib looks for the program before it undoes the doubled percent signs,
// so a launched path holds none: the off-and-on test checks them.)
TEST_F(StartupShortcutTest, TurningItOnWritesOneEntryThatStartsTheProgramFromAnAwkwardPath) {
    const std::string program =
        makeProgram(dir.file("odd \"dir\" $HOME `x` \\ 'q' & (y)/run me; now"));
    g_szCurrentDir = dir.file("data \"a\" $b \\c\\ 50%");
    fs::create_directories(g_szCurrentDir);
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(program);
    EXPECT_EQ(filesIn(autostart()), std::vector<std::string>{"Quillon.desktop"});
    ASSERT_TRUE(validates(entry()));

    const CommandResult launched = RunCommand("gio launch " + ShellQuote(entry()));
    ASSERT_EQ(launched.exitStatus, 0) << launched.out << launched.err;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(dir.file("ran")) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(readText(dir.file("ran")), g_szCurrentDir + "\n" + program + "\n");
}

TEST_F(StartupShortcutTest, FollowsTheSettingOffAndOnAgain) {
    const std::string first = makeProgram(dir.file("bin/quillon"));
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(first);
    writeText(autostart() + "/other.desktop", "not ours");

    // Off, twice (any other value than 1 is off): removed, others untouched.
    for (const DWORD off : {0u, 2u}) {
        g_bStartWithWindows = off;
        UpdateStartupShortcut(first);
        EXPECT_EQ(filesIn(autostart()), std::vector<std::string>{"other.desktop"});
    }

    // On with another program and data folder, twice: one entry, with the current values. A
    // percent sign starts a field code in Exec and is doubled; a blank makes the path quoted.
    const std::string second = makeProgram(dir.file("bin 100%/quillon"));
    g_szCurrentDir = dir.file("data2");
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(first);
    UpdateStartupShortcut(second);
    EXPECT_EQ(filesIn(autostart()), (std::vector<std::string>{"Quillon.desktop", "other.desktop"}));
    const std::string text = readText(entry());
    EXPECT_NE(text.find("\nExec=\"" + dir.file("bin 100%%/quillon") +
                        "\"\nPath=" + dir.file("data2") + "\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(validates(entry()));
    EXPECT_EQ(readText(autostart() + "/other.desktop"), "not ours");
}

TEST_F(StartupShortcutTest, AReadOnlyEntryOrOneThatCannotBeDeletedStaysAsItIs) {
    const std::string program = makeProgram(dir.file("bin/quillon"));
    const std::string mine = "[Desktop Entry]\nType=Application\nName=Mine\nExec=mine\n";
    fs::create_directories(autostart());
    writeText(entry(), mine);
    ::chmod(entry().c_str(), 0444); // the user's to keep, though the superuser could write it
    for (const DWORD setting : {1u, 0u}) {
        g_bStartWithWindows = setting;
        const StartupShortcutResult result = UpdateStartupShortcut(program);
        EXPECT_EQ(result.status, StartupShortcutResult::cannotRemove);
        EXPECT_EQ(result.path, entry());
        EXPECT_EQ(readText(entry()), mine);
    }
    // Something at the entry's path that unlinking cannot remove, whoever runs the test.
    fs::remove(entry());
    fs::create_directories(entry());
    writeText(entry() + "/inside", "mine");
    for (const DWORD setting : {1u, 0u}) {
        g_bStartWithWindows = setting;
        EXPECT_EQ(UpdateStartupShortcut(program).status, StartupShortcutResult::cannotRemove);
        EXPECT_EQ(filesIn(autostart()), std::vector<std::string>{"Quillon.desktop"});
        EXPECT_EQ(readText(entry() + "/inside"), "mine");
    }
}

// A data folder that an entry cannot hold (not UTF-8, a control character): nothing is written
// and the caller is told. The rest of CShortcut's refusals need values start-up never gives it.
TEST_F(StartupShortcutTest, ADataFolderTheEntryCannotHoldIsRefused) {
    const std::string program = makeProgram(dir.file("bin/quillon"));
    g_bStartWithWindows = 1;
    for (const char* folder : {"bad \xC3", "bell\a"}) {
        g_szCurrentDir = dir.file(folder);
        EXPECT_EQ(UpdateStartupShortcut(program).status, StartupShortcutResult::cannotWrite);
        EXPECT_TRUE(filesIn(autostart()).empty()) << folder;
    }
}

} // namespace
