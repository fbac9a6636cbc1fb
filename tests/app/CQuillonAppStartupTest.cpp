#include "app/CQuillonApp.h"

#include "app/Globals.h"
#include "mixer/MixerGlobals.h"
#include "platform/mixerapi/MemoryMixerLevelStore.h"
#include "platform/mixerapi/MixerDevice.h"
#include "platform/mixerapi/SoftMixer.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void resetGlobals() {
    g_szCurrentDir.clear();
    g_bStartWithWindows = 0;
    g_bSendToTaskbar = 0;
    g_bPlayDefaultPlayList = 0;
    g_nRecordingQuality = 1;
    g_strDefaultPlayList.clear();
    g_strWavPattern.clear();
    g_strMidPattern.clear();
    g_strRmiPattern.clear();
    g_strPlaPattern.clear();
}

/// A Launch Pad of the test's own: it runs a step of the test where the real one would run
/// its modal loop, and writes down what happened.
class ScriptedLaunchPad final : public CQuillonApp::LaunchPad {
public:
    std::function<void()> whileRunning;
    std::function<void()> whenDestroyed;
    std::vector<std::string> calls;

    int RunModal() override {
        calls.push_back("run");
        if (whileRunning) {
            whileRunning();
        }
        return 1;
    }
    void Destroy() override {
        calls.push_back("destroy");
        if (whenDestroyed) {
            whenDestroyed();
        }
    }
};

class RecordingMessageBoxes final : public MessageBoxHandler {
public:
    std::function<void()> onShow;
    std::vector<std::pair<std::string, UINT>> shown;

    int Show(const std::string& text, UINT type) override {
        shown.emplace_back(text, type);
        if (onShow) {
            onShow();
        }
        return IDOK;
    }
};

class CQuillonAppStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
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
        resetGlobals();
    }

    /// The settings as a fresh run of the program reads them.
    void reloadSettings() {
        resetGlobals();
        RegistryStore store(storePath);
        CQuillonApp(&store).LoadSettings();
    }

    void storeSettings(DWORD sendToTaskbar, DWORD quality, const std::string& preferred) {
        RegistryStore store(storePath);
        CQuillonApp app(&store);
        ASSERT_EQ(app.LoadSettings(), 0);
        g_bSendToTaskbar = sendToTaskbar;
        g_nRecordingQuality = quality;
        g_strDefaultPlayList = preferred;
        ASSERT_EQ(app.SaveSettings(), 0);
        resetGlobals();
    }

    TempDir dir;
    std::string data = dir.file("data folder");
    std::string storePath = dir.file("config/quillon/registry.reg");
    RecordingMessageBoxes boxes;
    ScriptedLaunchPad launchPad;

private:
    std::filesystem::path m_previousDir;
};

TEST_F(CQuillonAppStartupTest, TheLaunchPadRunsWithPatternsSettingsAndDataFolderInPlace) {
    storeSettings(1, 2, "Lobby.pla");
    launchPad.whileRunning = [this] {
        EXPECT_EQ(g_strPlaPattern, "*.pla");
        EXPECT_EQ(g_strWavPattern, "*.wav");
        EXPECT_EQ(g_strMidPattern, "*.mid");
        EXPECT_EQ(g_strRmiPattern, "*.rmi");
        EXPECT_EQ(g_bSendToTaskbar, 1u);
        EXPECT_EQ(g_nRecordingQuality, 2u);
        EXPECT_EQ(g_strDefaultPlayList, "Lobby.pla");
        EXPECT_EQ(g_szCurrentDir, data);
    };
    RegistryStore store(storePath);
    CQuillonApp app(&store);
    EXPECT_FALSE(app.InitInstance(launchPad)) << "start-up always ends the program after it";
    EXPECT_EQ(launchPad.calls, (std::vector<std::string>{"run", "destroy"}));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(app.ExitInstance(), 0);
}

TEST_F(CQuillonAppStartupTest, TheVolumeFadersAreFoundAndCalibratedBeforeTheLaunchPadRuns) {
    launchPad.whileRunning = [] {
        EXPECT_EQ(g_synthStep, 655u) << "65535 units over a scale of 100";
        EXPECT_EQ(g_waveStep, 655u);
        EXPECT_EQ(g_cdStep, 655u);
        g_mixerFaders.waveFader.ApplyVolume(40);
        EXPECT_EQ(g_mixerFaders.waveFader.ReadVolume(), 40u) << "the wave fader is bound";
        EXPECT_EQ(g_playbackVolumeControls.size(), 3u);
    };
    RegistryStore store(storePath);
    CQuillonApp(&store).InitInstance(launchPad);
    EXPECT_EQ(launchPad.calls.size(), 2u);
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
    RegistryStore store(storePath);
    CQuillonApp(&store).InitInstance(launchPad);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].first, MixerFaders::synthesizerMessage);
    EXPECT_EQ(boxes.shown[1].first, MixerFaders::waveMessage);
    EXPECT_EQ(boxes.shown[2].first, MixerFaders::cdMessage);
    for (const auto& [text, type] : boxes.shown) {
        EXPECT_EQ(type & MB_ICONSTOP, MB_ICONSTOP) << text;
    }
    EXPECT_EQ(launchPad.calls, (std::vector<std::string>{"run", "destroy"}));
    EXPECT_EQ(g_waveStep, MixerFaders::defaultStep);
}

TEST_F(CQuillonAppStartupTest, SettingsChangedWhileRunningAreSavedBeforeTheLaunchPadIsDestroyed) {
    storeSettings(0, 1, "");
    launchPad.whileRunning = [] {
        // What the Options dialog would do while the Launch Pad runs.
        g_bPlayDefaultPlayList = 1;
        g_strDefaultPlayList = "Evening.pla";
    };
    launchPad.whenDestroyed = [this] {
        RegistryStore store(storePath);
        const DWORD playAtStart = g_bPlayDefaultPlayList;
        const std::string preferred = g_strDefaultPlayList;
        CQuillonApp(&store).LoadSettings();
        EXPECT_EQ(g_bPlayDefaultPlayList, 1u) << "saved before the Launch Pad object goes";
        EXPECT_EQ(g_strDefaultPlayList, "Evening.pla");
        g_bPlayDefaultPlayList = playAtStart;
        g_strDefaultPlayList = preferred;
    };
    RegistryStore store(storePath);
    CQuillonApp(&store).InitInstance(launchPad);

    reloadSettings();
    EXPECT_EQ(g_bPlayDefaultPlayList, 1u);
    EXPECT_EQ(g_strDefaultPlayList, "Evening.pla");
}

TEST_F(CQuillonAppStartupTest, FirstRunForgetsAStalePreferredPlayListAndWritesTheDefaults) {
    g_strDefaultPlayList = "left over.pla";
    g_nRecordingQuality = 1;
    launchPad.whileRunning = [] { EXPECT_EQ(g_strDefaultPlayList, ""); };
    RegistryStore store(storePath);
    CQuillonApp(&store).InitInstance(launchPad);
    ASSERT_EQ(launchPad.calls.size(), 2u);

    reloadSettings();
    EXPECT_EQ(g_bSendToTaskbar, 0u);
    EXPECT_EQ(g_bPlayDefaultPlayList, 0u);
    EXPECT_EQ(g_nRecordingQuality, 1u);
    EXPECT_EQ(g_strDefaultPlayList, "");
}

TEST_F(CQuillonAppStartupTest, AnUnreadableDataFolderEndsStartUpWithoutLaunchPadOrSaving) {
    storeSettings(0, 1, "Lobby.pla");
    // The folder the program stands in disappears: the current directory cannot be read.
    std::filesystem::remove_all(data);
    // Anything start-up saved after the message would carry this change into the store.
    boxes.onShow = [] { g_nRecordingQuality = 2; };

    RegistryStore store(storePath);
    EXPECT_FALSE(CQuillonApp(&store).InitInstance(launchPad));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].first, "Unable to open current directory");
    EXPECT_EQ(boxes.shown[0].second, MB_OK | MB_ICONSTOP);
    EXPECT_TRUE(launchPad.calls.empty()) << "the Launch Pad is neither run nor destroyed";
    EXPECT_EQ(g_szCurrentDir, "");

    reloadSettings();
    EXPECT_EQ(g_nRecordingQuality, 1u) << "the settings were not written back";
    EXPECT_EQ(g_strDefaultPlayList, "Lobby.pla");
}

TEST_F(CQuillonAppStartupTest, TheDataFolderIsTheCurrentDirectoryWhateverItsLength) {
    // Deeper than the 256 characters a fixed buffer would hold.
    std::string deep = data;
    while (deep.size() < 600) {
        deep += "/a folder with a rather long name";
    }
    std::filesystem::create_directories(deep);
    std::filesystem::current_path(deep);
    launchPad.whileRunning = [&deep] { EXPECT_EQ(g_szCurrentDir, deep); };
    RegistryStore store(storePath);
    CQuillonApp(&store).InitInstance(launchPad);
    EXPECT_EQ(launchPad.calls.size(), 2u);
    EXPECT_TRUE(boxes.shown.empty());
}

} // namespace
