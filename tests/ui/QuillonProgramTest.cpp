// The desktop program itself, started as a session starts it (offscreen, a settings folder of
// its own) and ended as a session ends it, by SIGTERM while it plays. It must end as its exit
// button ends it, keeping the settings and the mixer levels. (SIGHUP and SIGINT take the same
// road; what the ending does above the Launch Pad is CLaunchPadDlgTest's.)

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "platform/registry/RegistryStore.h"
#include "tests/platform/registry/TextFiles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace {

using namespace std::chrono_literals;
using namespace testaudio;

TEST(QuillonProgramTest, SigtermEndsItAsTheExitButtonDoesKeepingSettingsAndMixerLevels) {
    TempDir data;
    const std::string storePath = data.file("config/quillon/registry.reg");
    // Stores the settings as the Options dialog would.
    const auto storeSettings = [&](DWORD quality, const std::string& preferred) {
        RegistryStore store(storePath);
        CQuillonApp app(&store);
        app.LoadSettings();
        g_nRecordingQuality = quality;
        g_bPlayDefaultPlayList = 1;
        g_strDefaultPlayList = preferred;
        ASSERT_EQ(app.SaveSettings(), ERROR_SUCCESS);
    };
    std::filesystem::create_directories(data.file("Wave Files"));
    WriteWave(data.file("Wave Files/tone.wav"), SineTone(523, 30, 44100, 0.5), {});
    WritePlayListFile(data.file("hold.pla"), {{102, "tone.wav", 1, 37}});
    storeSettings(2, "HOLD.PLA");
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    ChildProcess quillon({QUILLON},
                         {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + data.file("config")},
                         data.path());
    ASSERT_TRUE(WaitUntil([&] { return RmsDb(Channel(capture.Latest(4410), 0)) > -50; }, 20s))
        << quillon.Errors();
    // Another program changes the stored values; the running program's own come back when it
    // saves at its end.
    storeSettings(0, "other.pla");
    quillon.Signal(SIGTERM);
    ASSERT_EQ(quillon.Wait(20s), 0) << quillon.Errors();
    const std::string stored = readText(storePath);
    EXPECT_NE(stored.find("\"Recording Quality\"=dword:00000002"), std::string::npos);
    EXPECT_NE(stored.find("\"Default Play List\"=\"HOLD.PLA\""), std::string::npos) << stored;
    // The wave fader the item set: its volume 37 times the wave step 655.
    EXPECT_NE(stored.find("\"Wave Out Left\"=dword:00005eab"), std::string::npos) << stored;
}

} // namespace
