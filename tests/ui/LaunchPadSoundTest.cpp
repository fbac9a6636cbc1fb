// The Launch Pad end to end: the real sound engine, command layer and software mixer, a play
// list of two tones, the play button clicked, and what came out of the private sound server.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "app/ProcessObjects.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxPlayListPlayer.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CLaunchPadDlg.h"
#include "ui/DialogControls.h"
#include "ui/ProcessDialogContext.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace std::chrono_literals;
using namespace testaudio;

constexpr int kRate = AudioCapture::kRate;

class LaunchPadSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The software mixer keeps its levels in the per-user store: a scratch one here.
        ::setenv("XDG_CONFIG_HOME", data.file("config").c_str(), 1);
        std::filesystem::create_directories(data.file("Wave Files"));
        g_szCurrentDir = data.path();
        g_strPlaPattern = "*.pla";
        objects = std::make_unique<ProcessObjects>();
        // Start-up's part: the faders of the software mixer and their steps.
        FindMixerControls();
        CalibrateVolumeSteps();
    }
    void TearDown() override {
        dialog.reset();
        ReleaseVolumeControls();
        objects.reset();
        g_szCurrentDir.clear();
    }

    /// A tone followed by a little silence, so that the items stand apart in the capture.
    void tone(const std::string& name, double frequency) {
        std::vector<float> samples = SineTone(frequency, 1.0, kRate, 0.5);
        samples.resize(samples.size() + static_cast<std::size_t>(0.15 * kRate), 0.0f);
        WriteWave(data.file("Wave Files/" + name), samples, {});
    }

    TempDir data;
    CapturedMessageBoxes boxes;
    CQuillonApp app; // the settings are not saved: nothing here asks for it
    std::unique_ptr<ProcessObjects> objects;
    std::unique_ptr<CLaunchPadDlg> dialog;
};

TEST_F(LaunchPadSoundTest, PlayHearsBothTonesInTurnAndStopBringsSilence) {
    tone("low.wav", 440);
    tone("high.wav", 880);
    WritePlayListFile(data.file("Tones.pla"),
                      {{102, "low.wav", 1, 100}, {102, "high.wav", 1, 100}});

    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    dialog = std::make_unique<CLaunchPadDlg>(ProcessDialogContext(app));
    dialog->show();
    auto* play = GetDlgItemAs<QPushButton>(dialog.get(), CLaunchPadDlg::IDC_PLAY_STOP);
    ASSERT_TRUE(play->isEnabled());
    const std::size_t playFrame = capture.Frames();
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_TRUE(dialog->IsPlaying());

    // Both tones, and the start of the list's next round: the completion notices reach the
    // Launch Pad through its event loop.
    WaitUntil([] { return false; }, 2900ms);
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_FALSE(dialog->IsPlaying());
    EXPECT_FALSE(g_player->IsPlaying());
    const std::size_t stopFrame = capture.Frames();
    WaitUntil([] { return false; }, 1000ms);
    const std::vector<float> left = Channel(capture.Stop(), 0);
    EXPECT_TRUE(boxes.boxes.empty());

    const std::vector<Segment> segments =
        FindSegments(Slice(left, playFrame, stopFrame - playFrame), kRate, -40.0, 0.05);
    ASSERT_GE(segments.size(), 3u) << "low, high, and low again";
    // Which tone it is; a capture that hiccups on a busy machine moves the measure a little.
    EXPECT_NEAR(segments[0].frequency, 440, 440 * 0.015);
    EXPECT_NEAR(segments[1].frequency, 880, 880 * 0.015);
    EXPECT_NEAR(segments[2].frequency, 440, 440 * 0.015) << "the list goes round without end";
    EXPECT_NEAR(segments[0].Seconds(kRate), 1.0, 0.03) << "each tone plays whole";
    EXPECT_NEAR(segments[1].Seconds(kRate), 1.0, 0.03);
    EXPECT_NEAR(segments[1].Start(kRate) - segments[0].End(kRate), 0.15, 0.06)
        << "the next item follows at once";
    EXPECT_GT(segments[0].rmsDb, -25.0);

    // Allowing for the server's latency, nothing sounds after stop.
    const std::size_t quietFrom = stopFrame + static_cast<std::size_t>(0.25 * kRate);
    ASSERT_GT(left.size(), quietFrom + kRate / 2);
    EXPECT_LT(RmsDb(Slice(left, quietFrom, left.size() - quietFrom)), -70.0);
}

} // namespace
