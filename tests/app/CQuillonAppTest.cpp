#include "app/CQuillonApp.h"

#include "app/Globals.h"
#include "mixer/MixerGlobals.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "platform/mixerapi/MixerDevice.h"
#include "platform/mixerapi/SoftMixer.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "platform/registry/RegistryStore.h"
#include "tests/platform/registry/TextFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kSection = "[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n";
const std::string kDefaults = kHeader + kSection +
                              "\"Start With Windows\"=dword:00000000\n"
                              "\"Send To Taskbar At Startup\"=dword:00000000\n"
                              "\"Play Default Play List At Startup\"=dword:00000000\n"
                              "\"Recording Quality\"=dword:00000001\n"
                              "\"Default Play List\"=\"\"\n\n";

/// The five settings as they are now.
auto settingsNow() {
    return std::tuple(g_bStartWithWindows, g_bSendToTaskbar, g_bPlayDefaultPlayList,
                      g_nRecordingQuality, g_strDefaultPlayList);
}
using Settings = std::tuple<DWORD, DWORD, DWORD, DWORD, std::string>;

/// Each case starts as the program does: the settings globals at their initial values.
class CQuillonAppTest : public ::testing::Test {
protected:
    void SetUp() override { resetGlobals(); }
    void TearDown() override { resetGlobals(); }

    static void resetGlobals() {
        g_szCurrentDir.clear();
        g_settings = AppSettings{};
        g_filePatterns = FilePatterns{};
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
    /// The settings as a fresh run of the program reads them.
    LONG reload() {
        resetGlobals();
        return load();
    }

    TempDir dir;
    std::string path = dir.file("config/quillon/registry.reg");
};

TEST_F(CQuillonAppTest, FirstRunWritesTheDefaultsAndSavedSettingsSurviveARestart) {
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(readText(path), kDefaults);
    // The second run reads them back and writes nothing.
    g_nRecordingQuality = 7;
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(g_nRecordingQuality, 1u);
    EXPECT_EQ(readText(path), kDefaults);

    g_settings = {1, 1, 1, 2, "Caf\xC3\xA9 \"Jazz\" \\ mix.pla"};
    EXPECT_EQ(save(), 0);
    EXPECT_EQ(reload(), 0);
    EXPECT_EQ(settingsNow(), Settings(1, 1, 1, 2, "Caf\xC3\xA9 \"Jazz\" \\ mix.pla"));
}

TEST_F(CQuillonAppTest, MissingValuesTakeTheirDefaultsAndAreNotAdded) {
    std::filesystem::create_directories(dir.file("config/quillon"));
    const std::string text = kHeader + kSection + "\"Start With Windows\"=dword:00000001\n";
    writeText(path, text);
    g_bSendToTaskbar = 1;    // a value that cannot be read becomes 0 ...
    g_nRecordingQuality = 2; // ... except the recording quality, which keeps what it had
    g_strDefaultPlayList = "kept.pla";
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(settingsNow(), Settings(1, 0, 0, 2, "kept.pla"));
    EXPECT_EQ(readText(path), text);
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

/// A Launch Pad of the test's own: it runs a step of the test where the real one would run
/// its modal loop, and writes down what happened.
class ScriptedLaunchPad final : public CQuillonApp::LaunchPad {
public:
    std::function<void()> whileRunning = [] {};
    std::function<void()> whenDestroyed = [] {};
    std::vector<std::string> calls;

    int RunModal() override {
        calls.push_back("run");
        whileRunning();
        return 0; // rejected, as Esc and the close box end it: the settings are saved anyway
    }
    void Destroy() override {
        calls.push_back("destroy");
        whenDestroyed();
    }
};

class RecordingMessageBoxes final : public MessageBoxHandler {
public:
    std::function<void()> onShow = [] {};
    std::vector<std::pair<std::string, UINT>> shown;

    int Show(const std::string& text, UINT type) override {
        shown.emplace_back(text, type);
        onShow();
        return IDOK;
    }
};

/// Start-up in a data folder of its own, with a mixer, and message boxes and a Launch Pad that
/// write down what they were asked.
class CQuillonAppStartupTest : public CQuillonAppTest {
protected:
    void SetUp() override {
        CQuillonAppTest::SetUp();
        m_previousDir = std::filesystem::current_path();
        std::filesystem::create_directories(data);
        std::filesystem::current_path(data);
        InstallMessageBoxHandler(&boxes);
        InstallMixerDevices(
            {std::make_shared<SoftMixer>(std::make_shared<MemoryMixerLevelStore>())});
    }
    void TearDown() override {
        ReleaseVolumeControls();
        InstallMixerDevices({});
        InstallMessageBoxHandler(nullptr);
        std::filesystem::current_path(m_previousDir);
        CQuillonAppTest::TearDown();
    }

    auto start() {
        RegistryStore store(path);
        return CQuillonApp(&store).InitInstance(launchPad);
    }

    std::string data = dir.file("data folder");
    RecordingMessageBoxes boxes;
    ScriptedLaunchPad launchPad;

private:
    std::filesystem::path m_previousDir;
};

TEST_F(CQuillonAppStartupTest, TheLaunchPadRunsWithEverythingInPlaceAndItsChangesAreSavedFirst) {
    // A first run: no store yet, and a preferred play list left in memory from nowhere.
    g_strDefaultPlayList = "left over.pla";
    launchPad.whileRunning = [] {
        EXPECT_EQ(g_strDefaultPlayList, "");
        g_mixerFaders.waveFader.ApplyVolume(40);
        EXPECT_EQ(g_mixerFaders.waveFader.ReadVolume(), 40u) << "the wave fader is bound";
        // What the Options dialog would do while the Launch Pad runs.
        g_bSendToTaskbar = 1;
        g_strDefaultPlayList = "Evening.pla";
    };
    launchPad.whenDestroyed = [this] {
        ASSERT_EQ(reload(), 0);
        EXPECT_EQ(g_strDefaultPlayList, "Evening.pla") << "saved before the Launch Pad goes";
    };
    RegistryStore store(path);
    CQuillonApp app(&store);
    EXPECT_FALSE(app.InitInstance(launchPad)) << "start-up always ends the program after it";
    EXPECT_EQ(launchPad.calls, (std::vector<std::string>{"run", "destroy"}));
    EXPECT_EQ(app.ExitInstance(), 0);

    // The next run, from a data folder deeper than the 256 characters a fixed buffer holds.
    std::string deep = data;
    while (deep.size() < 600) {
        deep += "/a folder with a rather long name";
    }
    std::filesystem::create_directories(deep);
    std::filesystem::current_path(deep);
    resetGlobals();
    launchPad.whenDestroyed = [] {};
    launchPad.whileRunning = [&deep] {
        EXPECT_EQ(g_bSendToTaskbar, 1u);
        EXPECT_EQ(g_strDefaultPlayList, "Evening.pla");
        EXPECT_EQ(g_szCurrentDir, deep);
    };
    start();
    EXPECT_EQ(launchPad.calls.size(), 4u);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CQuillonAppStartupTest, WithoutAMixerStartUpWarnsFirstAndGoesOn) {
    InstallMixerDevices({});
    // The faders as a process that has not searched yet has them (earlier cases bound them).
    for (CMixerVolumeControl* fader : {&g_synthVolume, &g_waveVolume, &g_cdVolume, &g_micVolume}) {
        *fader = CMixerVolumeControl();
    }
    boxes.onShow = [] {
        EXPECT_EQ(g_strPlaPattern, "") << "the warnings come before the rest of start-up";
    };
    start();
    EXPECT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(launchPad.calls, (std::vector<std::string>{"run", "destroy"}));
    EXPECT_EQ(g_waveStep, MixerFaders::defaultStep);
}

TEST_F(CQuillonAppStartupTest, AnUnreadableDataFolderEndsStartUpWithoutLaunchPadOrSaving) {
    ASSERT_EQ(load(), 0); // what an earlier run stored
    g_strDefaultPlayList = "Lobby.pla";
    ASSERT_EQ(save(), 0);
    resetGlobals();
    // The folder the program stands in disappears: the current directory cannot be read.
    std::filesystem::remove_all(data);
    // Anything start-up saved after the message would carry this change into the store.
    boxes.onShow = [] { g_nRecordingQuality = 2; };

    EXPECT_FALSE(start());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].first, "Unable to open current directory");
    EXPECT_EQ(boxes.shown[0].second, MB_OK | MB_ICONSTOP);
    EXPECT_TRUE(launchPad.calls.empty()) << "the Launch Pad is neither run nor destroyed";
    EXPECT_EQ(g_szCurrentDir, "");

    ASSERT_EQ(reload(), 0);
    EXPECT_EQ(g_nRecordingQuality, 1u) << "the settings were not written back";
    EXPECT_EQ(g_strDefaultPlayList, "Lobby.pla");
}

} // namespace
