#include "app/CQuillonApp.h"

#include "app/Globals.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace {

std::string readText(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& path, const std::string& text) {
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kSection = "[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n";
const std::string kDefaults = kHeader + kSection +
                              "\"Start With Windows\"=dword:00000000\n"
                              "\"Send To Taskbar At Startup\"=dword:00000000\n"
                              "\"Play Default Play List At Startup\"=dword:00000000\n"
                              "\"Recording Quality\"=dword:00000001\n"
                              "\"Default Play List\"=\"\"\n\n";

/// Each case starts as the program does: the settings globals at their initial values.
class CQuillonAppTest : public ::testing::Test {
protected:
    void SetUp() override { resetGlobals(); }
    void TearDown() override { resetGlobals(); }

    static void resetGlobals() {
        g_bStartWithWindows = 0;
        g_bSendToTaskbar = 0;
        g_bPlayDefaultPlayList = 0;
        g_nRecordingQuality = 1;
        g_strDefaultPlayList.clear();
    }

    /// One run of the program's settings code with a store object of its own.
    LONG load() {
        RegistryStore store(path);
        CQuillonApp app(&store);
        return app.LoadSettings();
    }
    LONG save() {
        RegistryStore store(path);
        CQuillonApp app(&store);
        return app.SaveSettings();
    }

    /// The type and bytes stored under a settings name.
    std::pair<DWORD, Bytes> stored(const char* name) {
        RegistryStore store(path);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyEx(store.Root(HKEY_CURRENT_USER), "SOFTWARE\\Corvale\\QUILLON", 0,
                               KEY_READ, &key),
                  ERROR_SUCCESS);
        Bytes bytes(512);
        DWORD size = 512;
        DWORD type = 0;
        EXPECT_EQ(RegQueryValueEx(key, name, nullptr, &type, bytes.data(), &size), ERROR_SUCCESS)
            << name;
        RegCloseKey(key);
        bytes.resize(size);
        return {type, bytes};
    }

    TempDir dir;
    std::string path = dir.file("config/quillon/registry.reg");
};

TEST_F(CQuillonAppTest, FirstRunWritesExactlyTheFiveDefaultsAndTheNextRunReadsThem) {
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(readText(path), kDefaults);
    EXPECT_EQ(stored("Start With Windows"), (std::pair<DWORD, Bytes>{REG_DWORD, {0, 0, 0, 0}}));
    EXPECT_EQ(stored("Send To Taskbar At Startup"),
              (std::pair<DWORD, Bytes>{REG_DWORD, {0, 0, 0, 0}}));
    EXPECT_EQ(stored("Play Default Play List At Startup"),
              (std::pair<DWORD, Bytes>{REG_DWORD, {0, 0, 0, 0}}));
    EXPECT_EQ(stored("Recording Quality"), (std::pair<DWORD, Bytes>{REG_DWORD, {1, 0, 0, 0}}));
    EXPECT_EQ(stored("Default Play List"), (std::pair<DWORD, Bytes>{REG_SZ, {0}}));

    // The second run reads them back unchanged and writes nothing.
    g_nRecordingQuality = 7;
    g_bSendToTaskbar = 1;
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(g_bStartWithWindows, 0u);
    EXPECT_EQ(g_bSendToTaskbar, 0u);
    EXPECT_EQ(g_bPlayDefaultPlayList, 0u);
    EXPECT_EQ(g_nRecordingQuality, 1u);
    EXPECT_EQ(g_strDefaultPlayList, "");
    EXPECT_EQ(readText(path), kDefaults);
}

TEST_F(CQuillonAppTest, SavedSettingsAreReadByTheNextRun) {
    ASSERT_EQ(load(), 0);
    g_bStartWithWindows = 1;
    g_bSendToTaskbar = 1;
    g_bPlayDefaultPlayList = 1;
    g_nRecordingQuality = 2;
    g_strDefaultPlayList = "Caf\xC3\xA9 \"Jazz\" \\ mix.pla";
    EXPECT_EQ(save(), 0);
    EXPECT_EQ(readText(path),
              kHeader + kSection +
                  "\"Start With Windows\"=dword:00000001\n"
                  "\"Send To Taskbar At Startup\"=dword:00000001\n"
                  "\"Play Default Play List At Startup\"=dword:00000001\n"
                  "\"Recording Quality\"=dword:00000002\n"
                  "\"Default Play List\"=\"Caf\xC3\xA9 \\\"Jazz\\\" \\\\ mix.pla\"\n\n");

    resetGlobals();
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(g_bStartWithWindows, 1u);
    EXPECT_EQ(g_bSendToTaskbar, 1u);
    EXPECT_EQ(g_bPlayDefaultPlayList, 1u);
    EXPECT_EQ(g_nRecordingQuality, 2u);
    EXPECT_EQ(g_strDefaultPlayList, "Caf\xC3\xA9 \"Jazz\" \\ mix.pla");
}

TEST_F(CQuillonAppTest, MissingValuesTakeTheirDefaultsAndAreNotAdded) {
    std::filesystem::create_directories(dir.file("config/quillon"));
    const std::string text = kHeader + kSection + "\"Start With Windows\"=dword:00000001\n";
    writeText(path, text);
    g_bSendToTaskbar = 1;    // a value that cannot be read becomes 0 ...
    g_nRecordingQuality = 2; // ... except the recording quality, which keeps what it had
    g_strDefaultPlayList = "kept.pla";
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(g_bStartWithWindows, 1u);
    EXPECT_EQ(g_bSendToTaskbar, 0u);
    EXPECT_EQ(g_bPlayDefaultPlayList, 0u);
    EXPECT_EQ(g_nRecordingQuality, 2u);
    EXPECT_EQ(g_strDefaultPlayList, "kept.pla");
    EXPECT_EQ(readText(path), text);
}

TEST_F(CQuillonAppTest, NumbersAreReadByTheirStoredType) {
    std::filesystem::create_directories(dir.file("config/quillon"));
    writeText(path, kHeader + kSection +
                        "\"Start With Windows\"=hex:00,00,00,01\n"
                        "\"Send To Taskbar At Startup\"=hex(4):00,00,00,01\n"
                        "\"Play Default Play List At Startup\"=\"1\"\n"
                        "\"Recording Quality\"=\"2\"\n");
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(g_bStartWithWindows, 1u);
    EXPECT_EQ(g_bSendToTaskbar, 16777216u);
    EXPECT_EQ(g_bPlayDefaultPlayList, 0u);
    EXPECT_EQ(g_nRecordingQuality, 0u); // read, as a type that gives no number
}

TEST_F(CQuillonAppTest, PreferredPlayListIsTakenOnlyWhenItFits) {
    std::filesystem::create_directories(dir.file("config/quillon"));
    const auto withPlayList = [&](const std::string& name) {
        writeText(path, kHeader + kSection + "\"Default Play List\"=\"" + name + "\"\n");
        g_strDefaultPlayList.clear();
        EXPECT_EQ(load(), 0);
        return g_strDefaultPlayList;
    };
    const std::string name100 = std::string(96, 'a') + ".pla"; // more than the first read
    const std::string name255 = std::string(251, 'b') + ".pla";
    EXPECT_EQ(withPlayList(name100), name100);
    EXPECT_EQ(withPlayList(name255), name255);
    EXPECT_EQ(withPlayList(std::string(252, 'c') + ".pla"), "");
    EXPECT_EQ(withPlayList(std::string(296, 'd') + ".pla"), "");
}

TEST_F(CQuillonAppTest, SaveWritesNothingOnceTheKeyHasGone) {
    ASSERT_EQ(load(), 0);
    {
        RegistryStore store(path);
        ASSERT_EQ(RegDeleteKey(store.Root(HKEY_CURRENT_USER), "SOFTWARE\\Corvale\\QUILLON"),
                  ERROR_SUCCESS);
    }
    const std::string before = readText(path);
    g_bStartWithWindows = 1;
    g_strDefaultPlayList = "demo.pla";
    EXPECT_EQ(save(), CRegistryKey::kCannotOpen);
    EXPECT_EQ(readText(path), before);
    EXPECT_EQ(before.find("QUILLON"), std::string::npos);
}

TEST_F(CQuillonAppTest, ReadsAFileTheUserEdited) {
    std::filesystem::create_directories(dir.file("config/quillon"));
    writeText(path, "; my music-on-hold settings\r\n"
                    "Windows Registry Editor Version 5.00\r\n"
                    "\r\n"
                    "[HKEY_CURRENT_USER\\Software\\corvale\\Quillon]   \r\n"
                    "  \"start with windows\" = dword:1\r\n"
                    "\"Recording Quality\"=dword:00000002 ; best\r\n"
                    "\r\n"
                    "; the play list at start-up\r\n"
                    "\"DEFAULT PLAY LIST\" = \"Lobby.pla\"\r\n");
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(g_bStartWithWindows, 1u);
    EXPECT_EQ(g_nRecordingQuality, 2u);
    EXPECT_EQ(g_strDefaultPlayList, "Lobby.pla");

    // Saving keeps the user's spelling of the key and the names.
    g_bSendToTaskbar = 1;
    EXPECT_EQ(save(), 0);
    const std::string text = readText(path);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\corvale\\Quillon]\n"
                        "\"start with windows\"=dword:00000001\n"
                        "\"Recording Quality\"=dword:00000002\n"
                        "\"DEFAULT PLAY LIST\"=\"Lobby.pla\"\n"
                        "\"Send To Taskbar At Startup\"=dword:00000001\n"),
              std::string::npos)
        << text;
}

TEST_F(CQuillonAppTest, ADamagedFileIsKeptAsideAndTheDefaultsAreUsed) {
    std::filesystem::create_directories(dir.file("config/quillon"));
    const std::string damaged = kHeader + kSection + "\"Start With Windows\"=dword:zz\n";
    writeText(path, damaged);
    testing::internal::CaptureStderr();
    EXPECT_EQ(load(), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_bStartWithWindows, 0u);
    EXPECT_EQ(g_nRecordingQuality, 1u);
    EXPECT_EQ(readText(path), kDefaults);
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("config/quillon"))) {
        if (entry.path().filename().string().rfind("registry.reg.damaged-", 0) == 0) {
            ++kept;
            EXPECT_EQ(readText(entry.path().string()), damaged);
        }
    }
    EXPECT_EQ(kept, 1);
}

// The mixer keeps its fader levels under a key of its own in the same store, from another
// store object (or another process); saving the settings must not lose them, nor they it.
TEST_F(CQuillonAppTest, SavingAlongsideAnotherWriterKeepsBoth) {
    ASSERT_EQ(load(), 0);
    g_bStartWithWindows = 1;
    g_nRecordingQuality = 2;
    g_strDefaultPlayList = "lobby.pla";
    constexpr int kRounds = 30;
    int saveFailures = 0;
    std::thread settings([&] {
        for (int i = 0; i < kRounds; ++i) {
            saveFailures += save() != 0 ? 1 : 0;
        }
    });
    int mixerFailures = 0;
    std::thread mixer([&] {
        RegistryStore store(path);
        CRegistryKey key(&store);
        mixerFailures +=
            key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", "Corvale\\QUILLON\\Mixer") != 0;
        mixerFailures += key.Create() != REG_CREATED_NEW_KEY;
        for (int i = 0; i < kRounds; ++i) {
            mixerFailures += key.SetNumber("Fader " + std::to_string(i), 1000u + i) != 0;
        }
    });
    settings.join();
    mixer.join();
    EXPECT_EQ(saveFailures, 0);
    EXPECT_EQ(mixerFailures, 0);

    resetGlobals();
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(g_bStartWithWindows, 1u);
    EXPECT_EQ(g_nRecordingQuality, 2u);
    EXPECT_EQ(g_strDefaultPlayList, "lobby.pla");
    RegistryStore store(path);
    CRegistryKey key(&store);
    ASSERT_EQ(key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", "Corvale\\QUILLON\\Mixer"), 0);
    ASSERT_EQ(key.Open(), 0);
    for (int i = 0; i < kRounds; ++i) {
        DWORD level = 0;
        EXPECT_EQ(key.QueryNumber("Fader " + std::to_string(i), level), 0);
        EXPECT_EQ(level, 1000u + i);
    }
}

TEST_F(CQuillonAppTest, LoadsTheFilePatterns) {
    g_strWavPattern.clear();
    g_strMidPattern.clear();
    g_strRmiPattern.clear();
    g_strPlaPattern.clear();
    RegistryStore store(path);
    CQuillonApp app(&store);
    app.LoadFilePatterns();
    EXPECT_EQ(g_strMidPattern, "*.mid");
    EXPECT_EQ(g_strRmiPattern, "*.rmi");
    EXPECT_EQ(g_strWavPattern, "*.wav");
    EXPECT_EQ(g_strPlaPattern, "*.pla");
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
