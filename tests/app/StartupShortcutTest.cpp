#include "app/StartupShortcut.h"

#include "app/CShortcut.h"
#include "app/Globals.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& path, const std::string& text) {
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// Runs a command; its exit status and what it printed.
std::pair<int, std::string> run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return {-1, output};
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

/// The user's configuration folder in a scratch folder, a data folder, and a program.
class StartupShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        m_oldConfig = old == nullptr ? std::nullopt : std::optional<std::string>(old);
        ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        fs::create_directories(dir.file("data"));
        g_szCurrentDir = dir.file("data");
        g_bStartWithWindows = 0;
    }
    void TearDown() override {
        if (m_oldConfig) {
            ::setenv("XDG_CONFIG_HOME", m_oldConfig->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        g_szCurrentDir.clear();
        g_bStartWithWindows = 0;
    }

    /// A program that notes the folder it was started in and its own path.
    std::string makeProgram(const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        writeText(path, "#!/bin/sh\n{ pwd; echo \"$0\"; } > " + shellQuote(dir.file("ran")) +
                            ".tmp\nmv " + shellQuote(dir.file("ran")) + ".tmp " +
                            shellQuote(dir.file("ran")) + "\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }

    std::string autostart() const { return dir.file("config/autostart"); }
    std::string entry() const { return autostart() + "/Quillon.desktop"; }

    TempDir dir;

private:
    std::optional<std::string> m_oldConfig;
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

    EXPECT_EQ(fs::path(GetExecutablePath()).filename(), "StartupShortcutTest");
    EXPECT_TRUE(fs::equivalent(GetExecutablePath(), "/proc/self/exe"));
}

TEST_F(StartupShortcutTest, TurningItOnWritesOneEntryThatStartsTheProgram) {
    const std::string program = makeProgram(dir.file("bin/quillon"));
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(program);
    EXPECT_EQ(filesIn(autostart()), std::vector<std::string>{"Quillon.desktop"});
    EXPECT_EQ(readText(entry()), "[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Quillon\n"
                                 "Comment=Shortcut to Quillon\n"
                                 "Exec=" +
                                     program +
                                     "\n"
                                     "Path=" +
                                     dir.file("data") +
                                     "\n"
                                     "Icon=quillon\n"
                                     "Terminal=false\n");
    const auto [status, output] = run("desktop-file-validate " + shellQuote(entry()));
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output, "");
}

// The entry is what a desktop session starts: launch it the way one does and see the program
// run, in the data folder, from the path it was given.
TEST_F(StartupShortcutTest, QuotesAnAwkwardPathSoThatTheEntryStillStartsIt) {
    const std::string program =
        makeProgram(dir.file("odd \"dir\" $HOME `x` \\ 'q' & (y)/run me; now"));
    g_szCurrentDir = dir.file("data \"a\" $b \\c\\ 50%");
    fs::create_directories(g_szCurrentDir);
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(program);
    ASSERT_TRUE(fs::exists(entry()));
    const std::string text = readText(entry());
    // Quoting escapes " $ ` \ with a backslash, and the string escapes double every backslash.
    EXPECT_NE(
        text.find(
            "\nExec=\"" +
            dir.file("odd \\\\\"dir\\\\\" \\\\$HOME \\\\`x\\\\` \\\\\\\\ 'q' & (y)/run me; now") +
            "\"\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("\nPath=" + dir.file("data \"a\" $b \\\\c\\\\ 50%") + "\n"),
              std::string::npos)
        << text;
    const auto [status, output] = run("desktop-file-validate " + shellQuote(entry()));
    EXPECT_EQ(status, 0) << output;

    const auto [launched, launchOutput] = run("gio launch " + shellQuote(entry()));
    ASSERT_EQ(launched, 0) << launchOutput;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(dir.file("ran")) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(readText(dir.file("ran")), g_szCurrentDir + "\n" + program + "\n");
}

// A percent sign starts a field code in Exec and is doubled. (GLib looks for the program
// before it undoes the doubling, so it is not launched here; the entry is still valid.)
TEST_F(StartupShortcutTest, DoublesAPercentSignInTheProgramPath) {
    const std::string program = makeProgram(dir.file("100% music/quillon"));
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(program);
    EXPECT_NE(readText(entry()).find("\nExec=\"" + dir.file("100%% music/quillon") + "\"\n"),
              std::string::npos)
        << readText(entry());
    const auto [status, output] = run("desktop-file-validate " + shellQuote(entry()));
    EXPECT_EQ(status, 0) << output;
}

TEST_F(StartupShortcutTest, FollowsTheSettingOffAndOnAgain) {
    const std::string first = makeProgram(dir.file("bin/quillon"));
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(first);
    fs::create_directories(autostart());
    writeText(autostart() + "/other.desktop", "not ours");

    // Off: removed, others untouched. Off again: nothing happens.
    g_bStartWithWindows = 0;
    UpdateStartupShortcut(first);
    EXPECT_EQ(filesIn(autostart()), std::vector<std::string>{"other.desktop"});
    UpdateStartupShortcut(first);
    EXPECT_EQ(filesIn(autostart()), std::vector<std::string>{"other.desktop"});

    // On with another program and data folder, twice: one entry, with the current values.
    const std::string second = makeProgram(dir.file("bin2/quillon"));
    g_szCurrentDir = dir.file("data2");
    g_bStartWithWindows = 1;
    UpdateStartupShortcut(first);
    UpdateStartupShortcut(second);
    EXPECT_EQ(filesIn(autostart()), (std::vector<std::string>{"Quillon.desktop", "other.desktop"}));
    const std::string text = readText(entry());
    EXPECT_NE(text.find("\nExec=" + second + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nPath=" + dir.file("data2") + "\n"), std::string::npos) << text;
    EXPECT_EQ(readText(autostart() + "/other.desktop"), "not ours");

    // Any other setting value than 1 counts as off.
    g_bStartWithWindows = 2;
    UpdateStartupShortcut(second);
    EXPECT_EQ(filesIn(autostart()), std::vector<std::string>{"other.desktop"});
}

TEST_F(StartupShortcutTest, AnEntryThatCannotBeDeletedStaysAsItIs) {
    // Something at the entry's path that unlinking cannot remove, whoever runs the test.
    fs::create_directories(entry());
    writeText(entry() + "/inside", "mine");
    for (DWORD setting : {1u, 0u}) {
        g_bStartWithWindows = setting;
        UpdateStartupShortcut(makeProgram(dir.file("bin/quillon")));
        EXPECT_EQ(filesIn(autostart()), std::vector<std::string>{"Quillon.desktop"});
        EXPECT_EQ(filesIn(entry()), std::vector<std::string>{"inside"});
        EXPECT_EQ(readText(entry() + "/inside"), "mine");
    }

    // Where permissions count, a read-only autostart folder keeps its entry too.
    if (::geteuid() != 0) {
        fs::remove_all(entry());
        writeText(entry(), "old entry");
        ::chmod(autostart().c_str(), 0555);
        for (DWORD setting : {1u, 0u}) {
            g_bStartWithWindows = setting;
            UpdateStartupShortcut(makeProgram(dir.file("bin/quillon")));
            EXPECT_EQ(readText(entry()), "old entry");
        }
        ::chmod(autostart().c_str(), 0755);
    }
}

TEST_F(StartupShortcutTest, SavesOnlyWhatChangedAndOnlyWhatItCanWrite) {
    CShortcut shortcut;
    EXPECT_FALSE(shortcut.IsChanged());
    EXPECT_TRUE(shortcut.Save()); // nothing set: nothing to write

    ShortcutInfo info;
    info.linkPath = dir.file("missing folder/Quillon.desktop");
    info.targetPath = "/usr/bin/quillon";
    EXPECT_FALSE(shortcut.SetAndSave(info));
    EXPECT_TRUE(shortcut.IsChanged());

    info.linkPath = dir.file("Quillon.desktop");
    info.description = "bell\a";
    EXPECT_FALSE(shortcut.SetAndSave(info));
    info.description = "bad \xC3";
    EXPECT_FALSE(shortcut.SetAndSave(info));
    EXPECT_FALSE(fs::exists(info.linkPath));

    info.description = "Shortcut to Quillon";
    info.arguments = "--play lobby.pla";
    EXPECT_TRUE(shortcut.SetAndSave(info));
    EXPECT_FALSE(shortcut.IsChanged());
    EXPECT_NE(readText(info.linkPath).find("\nExec=/usr/bin/quillon \"--play lobby.pla\"\n"),
              std::string::npos);
    const auto [status, output] = run("desktop-file-validate " + shellQuote(info.linkPath));
    EXPECT_EQ(status, 0) << output;

    // Unchanged since: Save leaves the file alone.
    writeText(info.linkPath, "edited");
    EXPECT_TRUE(shortcut.Save());
    EXPECT_EQ(readText(info.linkPath), "edited");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"Quillon.desktop", "data"}));
}

} // namespace
