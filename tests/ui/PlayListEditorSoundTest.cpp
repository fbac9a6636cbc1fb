// The play list editor end to end: the real sound engine, command layer and software mixer; a
// list of two tones built in the editor, the second row's slider turned down, auditioned, and
// what came out of the private sound server.

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
#include "ui/CPlayListCtrl.h"
#include "ui/CPlayListEditorDlg.h"
#include "ui/DialogControls.h"
#include "ui/ProcessDialogContext.h"

#include <QPushButton>
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

TEST(PlayListEditorSoundTest, AuditionPlaysBothRowsInOrderEachAtItsSlidersLevel) {
    TempDir data;
    CapturedMessageBoxes boxes;
    CQuillonApp app;
    ::setenv("XDG_CONFIG_HOME", data.file("config").c_str(), 1);
    std::filesystem::create_directories(data.file("Wave Files"));
    for (const auto& [name, frequency] :
         {std::pair{"low.wav", 440.0}, std::pair{"high.wav", 880.0}}) {
        // A tone followed by a little silence, so that the items stand apart in the capture.
        std::vector<float> samples = SineTone(frequency, 1.0, kRate, 0.5);
        samples.resize(samples.size() + static_cast<std::size_t>(0.15 * kRate), 0.0f);
        WriteWave(data.file(std::string("Wave Files/") + name), samples, {});
    }
    g_szCurrentDir = data.path();
    g_filePatterns = {"*.wav", "*.mid", "*.rmi", "*.pla"};
    auto objects = std::make_unique<ProcessObjects>();
    FindMixerControls();
    CalibrateVolumeSteps();

    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning());
    auto editor = std::make_unique<CPlayListEditorDlg>(ProcessDialogContext(app));
    editor->show();
    auto button = [&editor](int id) { return GetDlgItemAs<QPushButton>(editor.get(), id); };
    // Available: high.wav, low.wav. The low tone goes first.
    for (const int row : {1, 0}) {
        editor->AvailableList()->clearSelection();
        editor->AvailableList()->topLevelItem(row)->setSelected(true);
        QTest::mouseClick(button(CPlayListEditorDlg::IDC_ADD), Qt::LeftButton);
    }
    CPlayListCtrl* view = editor->PlayListView();
    ASSERT_EQ(view->GetRowCount(), 2);
    ASSERT_EQ(view->GetRowText(0), "low.wav");
    QTest::keyClick(view->GetRowSlider(0), Qt::Key_End);
    view->GetRowSlider(1)->setValue(40);

    const std::size_t startFrame = capture.Frames();
    QTest::mouseClick(button(CPlayListEditorDlg::IDC_AUDITION), Qt::LeftButton);
    ASSERT_TRUE(g_player->IsPlaying());
    // Both tones; the completion notices reach the editor through its event loop.
    WaitUntil([] { return false; }, 2600ms);
    QTest::mouseClick(button(CPlayListEditorDlg::IDC_AUDITION), Qt::LeftButton);
    EXPECT_FALSE(g_player->IsPlaying());
    const std::size_t stopFrame = capture.Frames();
    WaitUntil([] { return false; }, 1000ms);
    const std::vector<float> left = Channel(capture.Stop(), 0);
    EXPECT_TRUE(boxes.boxes.empty());

    const std::vector<Segment> segments =
        FindSegments(Slice(left, startFrame, stopFrame - startFrame), kRate, -45.0, 0.05);
    ASSERT_GE(segments.size(), 2u);
    EXPECT_NEAR(segments[0].frequency, 440, 440 * 0.015);
    EXPECT_NEAR(segments[1].frequency, 880, 880 * 0.015);
    EXPECT_GT(segments[0].rmsDb, -25.0);
    // The fader curve gives 10 log2(40 / 100) dB at volume 40 against volume 100.
    EXPECT_NEAR(segments[1].rmsDb - segments[0].rmsDb, 10 * std::log2(0.4), 1.0);

    // Allowing for the server's latency, nothing sounds after stop.
    const std::size_t quietFrom = stopFrame + static_cast<std::size_t>(0.25 * kRate);
    ASSERT_GT(left.size(), quietFrom + kRate / 2);
    EXPECT_LT(RmsDb(Slice(left, quietFrom, left.size() - quietFrom)), -70.0);

    editor.reset();
    ReleaseVolumeControls();
    objects.reset();
    g_szCurrentDir.clear();
}

} // namespace
