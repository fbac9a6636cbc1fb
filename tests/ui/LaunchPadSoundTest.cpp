// The Launch Pad end to end: the real sound engine, command layer and software mixer, a play
// list of two tones, the play button clicked, and what came out of the private sound server;
// the recorder opened from it, recording what was spoken into the server's microphone.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "app/ProcessObjects.h"
#include "audio/MoxRecorder.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/support/audio/TestSignals.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CLaunchPadDlg.h"
#include "ui/CRecorderDlg.h"
#include "ui/DialogControls.h"
#include "ui/ProcessDialogContext.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

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
        g_strWavPattern = "*.wav";
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
        g_settings = AppSettings{};
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
    // A file that went missing is passed over without a gap, and the Launch Pad says why.
    WritePlayListFile(
        data.file("Tones.pla"),
        {{102, "low.wav", 1, 100}, {102, "gone.wav", 1, 100}, {102, "high.wav", 1, 100}});

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
    const QString skipped = dialog->GetSkipReason();
    EXPECT_TRUE(skipped.contains("gone.wav") && skipped.contains("not found"))
        << skipped.toStdString();
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(dialog->GetSkipReason().isEmpty()) << "said while playing";
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

TEST_F(LaunchPadSoundTest, TheRecorderRecordsAtBestPlaysBackAndSavesHelloWav) {
    MicrophoneTone tone(660, 60.0);
    ASSERT_TRUE(tone.Started()) << "the tone does not reach the microphone";
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    RegistryStore store(data.file("registry.reg"));
    CQuillonApp withStore(&store);
    ASSERT_EQ(withStore.LoadSettings(), 0);
    dialog = std::make_unique<CLaunchPadDlg>(ProcessDialogContext(withStore));
    dialog->show();
    const std::string hello = data.file("Wave Files/hello.wav");
    AnsweredFileDialog files;
    files.answer = QString::fromStdString(hello);
    std::size_t playFrame = 0;
    QTimer::singleShot(0, [&] {
        auto* recorder = dialog->findChild<CRecorderDlg*>();
        EXPECT_EQ(g_hNotifyWnd.load(), recorder->GetNotifyWindow());
        auto click = [recorder](int id) {
            QTest::mouseClick(GetDlgItemAs<QAbstractButton>(recorder, id), Qt::LeftButton);
        };
        click(CRecorderDlg::IDC_QUALITY_BEST);
        click(CRecorderDlg::IDC_RECORD);
        WaitUntil([] { return false; }, 2s);
        click(CRecorderDlg::IDC_RECORD);
        playFrame = capture.Frames();
        click(CRecorderDlg::IDC_PLAY);
        EXPECT_TRUE(WaitUntil([recorder] { return recorder->GetState() == CRecorderDlg::idle; }))
            << "the notice of the playback's end";
        click(CRecorderDlg::IDC_SAVE);
        click(IDOK);
    });
    QTest::mouseClick(GetDlgItemAs<QPushButton>(dialog.get(), CLaunchPadDlg::IDC_RECORDER),
                      Qt::LeftButton); // runs the recorder until it closes
    EXPECT_EQ(g_hNotifyWnd.load(), dialog->GetNotifyWindow()) << "the notices come back";
    WaitUntil([] { return false; }, 300ms); // the server's latency
    const std::vector<float> heard = Channel(capture.Stop(), 0);
    EXPECT_TRUE(boxes.boxes.empty());

    const RiffFormat riff = ReadRiffFormat(hello);
    EXPECT_TRUE(riff.valid && riff.formatTag == 1 && riff.channels == 1);
    EXPECT_EQ(riff.samplesPerSecond, 44100u);
    EXPECT_EQ(riff.bitsPerSample, 16);
    const SoundFile sound = ReadSoundFile(hello);
    EXPECT_NEAR(sound.Seconds(), 2.0, 0.3);
    EXPECT_NEAR(MedianFrequency(Slice(sound.samples, kRate / 10, kRate), kRate), 660, 2.0);
    EXPECT_EQ(g_recorder->GetFileName(), "hello.wav") << "what Play plays from now on";

    // The playback as it came out of the server: the whole recording at its pitch.
    const std::vector<Segment> played =
        FindSegments(Slice(heard, playFrame, heard.size() - playFrame), kRate, -40.0, 0.05);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_NEAR(played[0].frequency, 660, 660 * 0.015);
    EXPECT_NEAR(played[0].Seconds(kRate), sound.Seconds(), 0.1);

    // The quality chosen in the recorder is what the program stores at its end.
    ASSERT_EQ(withStore.SaveSettings(), 0);
    g_nRecordingQuality = 1;
    ASSERT_EQ(withStore.LoadSettings(), 0);
    EXPECT_EQ(g_nRecordingQuality, 2u);
}

} // namespace
