// The desktop program itself, started as a session starts it (offscreen, a settings folder of
// its own) and ended as a session ends it: by a signal, while it plays or while a message box
// waits above the Launch Pad. It must end as its exit button ends it, keeping the settings and
// the mixer levels.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;
using namespace testaudio;

class QuillonProgramTest : public ::testing::Test {
protected:
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
    /// The settings file, as text.
    std::string stored() const {
        const Bytes text = ReadFileBytes(storePath);
        return {text.begin(), text.end()};
    }

    TempDir data;
    std::string storePath = data.file("config/quillon/registry.reg");
};

TEST_F(QuillonProgramTest, ASignalEndsItAsTheExitButtonDoesKeepingSettingsAndMixerLevels) {
    std::filesystem::create_directories(data.file("Wave Files"));
    WriteWave(data.file("Wave Files/tone.wav"), SineTone(523, 30, 44100, 0.5), {});
    WritePlayListFile(data.file("hold.pla"), {{102, "tone.wav", 1, 37}});
    // SIGHUP comes while a message box says that the preferred list is missing, as the
    // Launch Pad opens: nobody is there to answer it.
    for (const auto& [signal, preferred] :
         {std::pair{SIGTERM, "HOLD.PLA"}, {SIGINT, "HOLD.PLA"}, {SIGHUP, "gone.pla"}}) {
        SCOPED_TRACE(signal);
        std::filesystem::remove_all(data.file("config")); // a first run: levels at their start
        storeSettings(2, preferred);
        AudioCapture capture;
        ASSERT_TRUE(capture.WaitUntilRunning());
        ChildProcess quillon(
            {QUILLON}, {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + data.file("config")},
            data.path());
        const bool plays = signal != SIGHUP;
        if (plays) {
            ASSERT_TRUE(
                WaitUntil([&] { return RmsDb(Channel(capture.Latest(4410), 0)) > -50; }, 20s))
                << quillon.Errors();
        } else {
            std::this_thread::sleep_for(3s);
        }
        // Another program changes the stored values; the running program's own come back
        // when it saves at its end.
        storeSettings(0, "other.pla");
        // The item set the wave fader to its volume; the level store holds such a change two
        // seconds before writing it, so what is written now is written at the end.
        quillon.Signal(signal);
        ASSERT_EQ(quillon.Wait(20s), 0) << quillon.Errors();
        EXPECT_NE(stored().find("\"Recording Quality\"=dword:00000002"), std::string::npos);
        EXPECT_NE(stored().find("\"Default Play List\"=\"" + std::string(preferred) + "\""),
                  std::string::npos)
            << stored();
        if (plays) { // the item's volume 37 times the wave step 655
            EXPECT_NE(stored().find("\"Wave Out Left\"=dword:00005eab"), std::string::npos);
        }
    }
}

} // namespace
