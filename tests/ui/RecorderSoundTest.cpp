// The recorder end to end, opened from the Launch Pad: a tone spoken into the private sound
// server's microphone is recorded at "Best", played back and heard on the output, and saved as
// Wave Files/hello.wav.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "app/ProcessObjects.h"
#include "audio/MoxRecorder.h"
#include "audio/MoxWavDevice.h"
#include "mixer/MixerGlobals.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CLaunchPadDlg.h"
#include "ui/CRecorderDlg.h"
#include "ui/DialogControls.h"
#include "ui/ProcessDialogContext.h"

#include <QAbstractButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using namespace std::chrono_literals;
using namespace testaudio;

constexpr int kRate = AudioCapture::kRate;
constexpr double kTone = 660.0;

class RecorderSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The settings and the software mixer's levels live in the per-user store.
        ::setenv("XDG_CONFIG_HOME", data.file("config").c_str(), 1);
        std::filesystem::create_directories(data.file("Wave Files"));
        g_szCurrentDir = data.path();
        g_strWavPattern = "*.wav";
        g_strPlaPattern = "*.pla";
        objects = std::make_unique<ProcessObjects>();
        FindMixerControls();
        CalibrateVolumeSteps();
    }
    void TearDown() override {
        launchPad.reset();
        ReleaseVolumeControls();
        objects.reset();
        g_szCurrentDir.clear();
        g_settings = AppSettings{};
    }

    static void click(QWidget* dialog, int id) {
        QTest::mouseClick(GetDlgItemAs<QAbstractButton>(dialog, id), Qt::LeftButton);
    }

    /// Records two seconds at "Best", plays them back to the end, saves them as hello.wav and
    /// closes with OK.
    void useRecorder(CRecorderDlg& recorder, AudioCapture& capture) {
        EXPECT_EQ(g_hNotifyWnd.load(), recorder.GetNotifyWindow());
        click(&recorder, CRecorderDlg::IDC_QUALITY_BEST);
        EXPECT_EQ(g_nRecordingQuality, 2u);
        click(&recorder, CRecorderDlg::IDC_RECORD);
        ASSERT_EQ(recorder.GetState(), CRecorderDlg::recording) << g_recorder->LastError();
        WaitUntil([] { return false; }, 2s);
        click(&recorder, CRecorderDlg::IDC_RECORD);
        ASSERT_EQ(recorder.GetState(), CRecorderDlg::idle);

        playFrame = capture.Frames();
        click(&recorder, CRecorderDlg::IDC_PLAY);
        ASSERT_EQ(recorder.GetState(), CRecorderDlg::playing) << g_wavDevice->LastError();
        EXPECT_TRUE(
            WaitUntil([&recorder] { return recorder.GetState() == CRecorderDlg::idle; }, 5s))
            << "the notice of the playback's end";
        playedFrame = capture.Frames();

        files.answer = QString::fromStdString(data.file("Wave Files/hello.wav"));
        click(&recorder, CRecorderDlg::IDC_SAVE);
        click(&recorder, IDOK);
    }

    TempDir data;
    CapturedMessageBoxes boxes;
    AnsweredFileDialog files;
    std::unique_ptr<ProcessObjects> objects;
    std::unique_ptr<CLaunchPadDlg> launchPad;
    std::size_t playFrame = 0;
    std::size_t playedFrame = 0;
};

TEST_F(RecorderSoundTest, RecordsAtBestPlaysBackAndSavesHelloWav) {
    MicrophoneTone tone(kTone, 60.0);
    ASSERT_TRUE(tone.Started()) << "the tone does not reach the microphone";
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    CQuillonApp app;
    ASSERT_EQ(app.LoadSettings(), 0);

    launchPad = std::make_unique<CLaunchPadDlg>(ProcessDialogContext(app));
    launchPad->show();
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* recorder = launchPad->findChild<CRecorderDlg*>();
        ASSERT_NE(recorder, nullptr);
        ran = true;
        useRecorder(*recorder, capture);
        if (recorder->isVisible()) {
            recorder->reject(); // a failed step must not leave the test waiting
        }
    });
    click(launchPad.get(), CLaunchPadDlg::IDC_RECORDER); // runs the recorder until it closes
    ASSERT_TRUE(ran);
    EXPECT_EQ(g_hNotifyWnd.load(), launchPad->GetNotifyWindow()) << "the notices come back";
    WaitUntil([] { return false; }, 300ms); // the server's latency
    const std::vector<float> heard = Channel(capture.Stop(), 0);
    EXPECT_TRUE(boxes.boxes.empty()) << boxes.boxes.front().text;

    // The saved file: 16-bit mono 44100 Hz, two seconds of the tone.
    const std::string hello = data.file("Wave Files/hello.wav");
    const RiffFormat riff = ReadRiffFormat(hello);
    ASSERT_TRUE(riff.valid);
    EXPECT_EQ(riff.formatTag, 1);
    EXPECT_EQ(riff.channels, 1);
    EXPECT_EQ(riff.samplesPerSecond, 44100u);
    EXPECT_EQ(riff.bitsPerSample, 16);
    const SoundFile sound = ReadSoundFile(hello);
    EXPECT_NEAR(sound.Seconds(), 2.0, 0.3);
    const std::vector<float> middle = Slice(sound.samples, kRate / 10, kRate);
    EXPECT_NEAR(MedianFrequency(middle, kRate), kTone, 2.0);
    EXPECT_GT(RmsDb(middle), -30.0) << "the tone, not the silence of a dead input";
    EXPECT_FALSE(std::filesystem::exists(data.file("Wave Files/~quilon.wa~"))) << "renamed";

    // The playback, as it came out of the server: the whole recording, at its pitch.
    ASSERT_GT(heard.size(), playedFrame);
    const std::vector<Segment> segments =
        FindSegments(Slice(heard, playFrame, heard.size() - playFrame), kRate, -40.0, 0.05);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_NEAR(segments[0].frequency, kTone, kTone * 0.015);
    EXPECT_NEAR(segments[0].Seconds(kRate), sound.Seconds(), 0.1);

    // The quality chosen in the recorder is the one the program stores at its end.
    ASSERT_EQ(app.SaveSettings(), 0);
    g_nRecordingQuality = 1;
    ASSERT_EQ(app.LoadSettings(), 0);
    EXPECT_EQ(g_nRecordingQuality, 2u);
}

} // namespace
