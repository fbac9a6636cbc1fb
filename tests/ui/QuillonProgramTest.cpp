// The desktop program itself, started as the session starts it (offscreen, a settings folder of
// its own) and ended as the session ends it: by a signal, while it plays or while a message box
// waits above the Launch Pad. It must end as its exit button ends it, keeping the settings and
// the mixer levels.

#include "app/CQuillonApp.h"
#include "app/CRegistryKey.h"
#include "app/Globals.h"
#include "platform/mixerapi/SoftMixer.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;
using namespace testaudio;

// The mixer's key, as the software mixer stores its levels: "SOFTWARE" and the path below it.
const std::string kMixerKey = std::string(SoftMixer::registryKey).substr(9);

class QuillonProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(data.file("Wave Files"));
        WriteWave(data.file("Wave Files/tone.wav"), SineTone(523, 30, 44100, 0.5), {});
        const CommandResult made =
            RunCommand(std::string(QUILLON_PLA) + " make " + ShellQuote(data.file("hold.pla")),
                       R"({"items": [{"kind": 102, "name": "tone.wav", "volume": 37}]})");
        ASSERT_EQ(made.exitStatus, 0) << made.err;
    }

    /// Stores the settings as the Options dialog would.
    void storeSettings(DWORD quality, const std::string& preferred) {
        RegistryStore store(storePath);
        CQuillonApp app(&store);
        app.LoadSettings();
        g_nRecordingQuality = quality;
        g_bPlayDefaultPlayList = 1;
        g_strDefaultPlayList = preferred;
        ASSERT_EQ(app.SaveSettings(), ERROR_SUCCESS);
    }
    AppSettings storedSettings() {
        RegistryStore store(storePath);
        CQuillonApp(&store).LoadSettings();
        return g_settings;
    }
    void storeWaveLevel(DWORD level) {
        RegistryStore store(storePath);
        CRegistryKey key(&store);
        key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", kMixerKey);
        ASSERT_GT(key.Create(), 0);
        ASSERT_EQ(key.SetNumber("Wave Out Left", level), ERROR_SUCCESS);
    }
    DWORD storedWaveLevel() {
        RegistryStore store(storePath);
        CRegistryKey key(&store);
        key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", kMixerKey);
        DWORD level = 0;
        if (key.Open() == ERROR_SUCCESS) {
            key.QueryNumber("Wave Out Left", level);
        }
        return level;
    }

    std::unique_ptr<ChildProcess> start() {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{QUILLON},
            std::vector<std::string>{"QT_QPA_PLATFORM=offscreen",
                                     "XDG_CONFIG_HOME=" + data.file("config")},
            data.path());
    }

    static bool waitForSound(const AudioCapture& capture, std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (RmsDb(Channel(capture.Latest(4410), 0)) > -50) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    TempDir data;
    std::string storePath = data.file("config/quillon/registry.reg");
};

TEST_F(QuillonProgramTest, ASignalEndsItAsTheExitButtonDoesKeepingSettingsAndMixerLevels) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        storeSettings(2, "HOLD.PLA");
        storeWaveLevel(1000);
        AudioCapture capture;
        ASSERT_TRUE(capture.WaitUntilRunning());
        auto quillon = start();
        ASSERT_TRUE(waitForSound(capture, 20s)) << quillon->Errors();
        // Another program changes the stored values; the running program's own come back
        // when it saves at its end.
        storeSettings(0, "other.pla");
        // The item set the wave fader to its volume; the level store keeps such a change for
        // two seconds before writing it, so what is written now is written at the end.
        quillon->Signal(signal);
        ASSERT_EQ(quillon->Wait(20s), 0) << quillon->Errors();
        const AppSettings stored = storedSettings();
        EXPECT_EQ(stored.recordingQuality, 2u);
        EXPECT_EQ(stored.defaultPlayList, "HOLD.PLA");
        EXPECT_EQ(storedWaveLevel(), 37u * 655u);
    }
}

TEST_F(QuillonProgramTest, ASignalClosesAMessageBoxOpenAboveTheLaunchPad) {
    // The preferred list is missing: the Launch Pad says so in a message box as it opens,
    // and nobody is there to answer it.
    storeSettings(2, "gone.pla");
    auto quillon = start();
    std::this_thread::sleep_for(3s);
    ASSERT_TRUE(quillon->Running());
    storeSettings(0, "other.pla");
    quillon->Signal(SIGTERM);
    ASSERT_EQ(quillon->Wait(20s), 0) << quillon->Errors();
    EXPECT_EQ(storedSettings().defaultPlayList, "gone.pla");
}

} // namespace
