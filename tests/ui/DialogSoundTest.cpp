// The dialogs end to end: the real sound engine, command layer and software mixer, the Launch
// Pad, the play list editor and the recorder clicked through, and what came out of the private
// sound server. Waits are measured by the server's clock (the frames captured), not the test's.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "app/ProcessObjects.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxPlayListPlayer.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/support/audio/TestSignals.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CLaunchPadDlg.h"
#include "ui/CPlayListCtrl.h"
#include "ui/CPlayListEditorDlg.h"
#include "ui/CRecorderDlg.h"
#include "ui/DialogControls.h"
#include "ui/ProcessDialogContext.h"

#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace std::chrono_literals;
using namespace testaudio;

constexpr int kRate = AudioCapture::kRate;

class DialogSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The software mixer keeps its levels in the per-user store: a scratch one here.
        ::setenv("XDG_CONFIG_HOME", data.file("config").c_str(), 1);
        std::filesystem::create_directories(data.file("Wave Files"));
        // Tones followed by a little silence, so that the items stand apart in the capture.
        for (const auto& [name, frequency] : {std::pair{"low.wav", 440}, {"high.wav", 880}}) {
            std::vector<float> samples = SineTone(frequency, 1.0, kRate, 0.5);
            samples.resize(samples.size() + static_cast<std::size_t>(0.15 * kRate), 0.0f);
            WriteWave(data.file(std::string("Wave Files/") + name), samples, {});
        }
        g_szCurrentDir = data.path();
        g_filePatterns = {"*.wav", "*.mid", "*.rmi", "*.pla"};
        objects = std::make_unique<ProcessObjects>();
        // Start-up's part: the faders of the software mixer and their steps.
        FindMixerControls();
        CalibrateVolumeSteps();
        ASSERT_TRUE(capture.WaitUntilRunning());
    }
    void TearDown() override {
        ReleaseVolumeControls();
        objects.reset();
        g_szCurrentDir.clear();
        g_settings = AppSettings{};
    }

    /// The left channel heard from frame `from` on.
    std::vector<float> heardSince(std::size_t from) const {
        return Channel(capture.Latest(capture.Frames() - from), 0);
    }
    /// Waits until `count` tones were heard since frame `from`, the last of them for at least
    /// `last` seconds, and returns what was heard.
    std::vector<Segment> waitForTones(std::size_t from, std::size_t count, double last) {
        std::vector<Segment> tones;
        std::size_t analysed = from;
        WaitUntil(
            [&] {
                if (capture.Frames() < analysed + kRate / 10) {
                    return false; // look again once a tenth of a second more came
                }
                analysed = capture.Frames();
                tones = FindSegments(heardSince(from), kRate, -45.0, 0.05);
                return tones.size() >= count && tones[count - 1].Seconds(kRate) >= last;
            },
            15s);
        return tones;
    }
    /// Waits until the server has played this long since frame `from`.
    void waitPlayed(std::size_t from, double seconds) {
        const auto until = from + static_cast<std::size_t>(seconds * kRate);
        WaitUntil([&] { return capture.Frames() >= until; });
    }
    /// The level from a quarter of a second (the server's latency) after `from` for a second.
    double levelAfter(std::size_t from) {
        waitPlayed(from, 1.25);
        return RmsDb(heardSince(from + kRate / 4));
    }

    TempDir data;
    CapturedMessageBoxes boxes;
    CQuillonApp app; // the settings are saved only where a test asks for it
    std::unique_ptr<ProcessObjects> objects;
    AudioCapture capture;
};

// Order, loops and passing over missing files are the player's, checked over scripted devices;
// here the real notices move it on and stop silences it.
TEST_F(DialogSoundTest, TheLaunchPadPlaysTheListInOrderAndStopBringsSilence) {
    WritePlayListFile(data.file("Tones.pla"),
                      {{102, "low.wav", 1, 100}, {102, "high.wav", 1, 100}});
    CLaunchPadDlg dialog(ProcessDialogContext(app));
    dialog.show();
    const std::size_t playFrame = capture.Frames();
    QTest::mouseClick(GetDlgItem(&dialog, CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    const std::vector<Segment> tones = waitForTones(playFrame, 2, 0.3);
    QTest::mouseClick(GetDlgItem(&dialog, CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    const std::size_t stopFrame = capture.Frames();
    EXPECT_FALSE(g_player->IsPlaying());
    EXPECT_TRUE(boxes.boxes.empty());

    ASSERT_GE(tones.size(), 2u);
    // Which tone it is; a capture that hiccups on a busy machine moves the measure a little.
    EXPECT_NEAR(tones[0].frequency, 440, 440 * 0.015);
    EXPECT_NEAR(tones[1].frequency, 880, 880 * 0.015);
    EXPECT_NEAR(tones[0].Seconds(kRate), 1.0, 0.03) << "the tone plays whole";
    EXPECT_NEAR(tones[1].Start(kRate) - tones[0].End(kRate), 0.15, 0.06)
        << "the next item follows at once";
    EXPECT_GT(tones[0].rmsDb, -25.0);
    EXPECT_LT(levelAfter(stopFrame), -70.0) << "nothing sounds after stop";
}

TEST_F(DialogSoundTest, TheEditorAuditionsBothRowsInOrderEachAtItsSlidersLevel) {
    CPlayListEditorDlg editor(ProcessDialogContext(app));
    editor.show();
    QWidget* audition = GetDlgItem(&editor, CPlayListEditorDlg::IDC_AUDITION);
    for (const int row : {1, 0}) { // available: high.wav, low.wav; the low tone goes first
        editor.AvailableList()->clearSelection();
        editor.AvailableList()->topLevelItem(row)->setSelected(true);
        QTest::mouseClick(GetDlgItem(&editor, CPlayListEditorDlg::IDC_ADD), Qt::LeftButton);
    }
    CPlayListCtrl* view = editor.PlayListView();
    ASSERT_EQ(view->GetRowText(0), "low.wav");
    QTest::keyClick(view->GetRowSlider(0), Qt::Key_End);
    view->GetRowSlider(1)->setValue(40);

    const std::size_t startFrame = capture.Frames();
    QTest::mouseClick(audition, Qt::LeftButton);
    const std::vector<Segment> tones = waitForTones(startFrame, 2, 0.5);
    QTest::mouseClick(audition, Qt::LeftButton);
    EXPECT_TRUE(boxes.boxes.empty());

    ASSERT_GE(tones.size(), 2u);
    EXPECT_NEAR(tones[0].frequency, 440, 440 * 0.015);
    EXPECT_NEAR(tones[1].frequency, 880, 880 * 0.015);
    // The fader curve gives 10 log2(40 / 100) dB at volume 40 against volume 100.
    EXPECT_NEAR(tones[1].rmsDb - tones[0].rmsDb, 10 * std::log2(0.4), 1.0);
}

TEST_F(DialogSoundTest, TheRecorderRecordsFromTheMicrophoneAndPlaysItBack) {
    MicrophoneTone tone(660, 60.0);
    ASSERT_TRUE(tone.Started()) << "the tone does not reach the microphone";
    CRecorderDlg recorder(ProcessDialogContext(app));
    recorder.show();
    const std::string hello = data.file("Wave Files/hello.wav");
    AnsweredFileDialog files;
    files.answer = QString::fromStdString(hello);
    const auto click = [&recorder](int id) {
        QTest::mouseClick(GetDlgItem(&recorder, id), Qt::LeftButton);
    };
    click(CRecorderDlg::IDC_QUALITY_BEST);
    click(CRecorderDlg::IDC_RECORD);
    waitPlayed(capture.Frames(), 2.0);
    click(CRecorderDlg::IDC_RECORD);
    const std::size_t playFrame = capture.Frames();
    click(CRecorderDlg::IDC_PLAY);
    EXPECT_TRUE(WaitUntil([&recorder] { return recorder.GetState() == CRecorderDlg::idle; }))
        << "the notice of the playback's end";
    click(CRecorderDlg::IDC_SAVE);
    EXPECT_TRUE(boxes.boxes.empty());

    const SoundFile sound = ReadSoundFile(hello);
    EXPECT_GT(sound.Seconds(), 1.8) << "the two seconds recorded";
    EXPECT_NEAR(MedianFrequency(Slice(sound.samples, kRate / 10, kRate), kRate), 660, 2.0);

    // The playback as it came out of the server: the whole recording at its pitch.
    waitPlayed(playFrame, sound.Seconds() + 0.5);
    const std::vector<Segment> played = FindSegments(heardSince(playFrame), kRate, -45.0, 0.05);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_NEAR(played[0].frequency, 660, 660 * 0.015);
    EXPECT_NEAR(played[0].Seconds(kRate), sound.Seconds(), 0.1);
}

} // namespace
