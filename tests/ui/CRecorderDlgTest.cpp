#include "ui/CRecorderDlg.h"

#include "platform/mci/Mci.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/support/audio/TestSignals.h"
#include "tests/ui/DialogFixture.h"
#include "ui/IconResources.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <cmath>
#include <filesystem>

namespace {

using namespace testaudio;
using R = CRecorderDlg;

class CRecorderDlgTest : public DialogFixture {
protected:
    void open() {
        DialogFixture::open<R>();
        mci.take();
    }
    R& dlg() const { return static_cast<R&>(*dialog); }
    /// The commands since the last call; `device` becomes the one they opened last.
    std::vector<std::string> take() {
        std::vector<std::string> commands = mci.take();
        for (const std::string& command : commands) {
            device = command.rfind("open ", 0) == 0 ? mci.openedDevice(command) : device;
        }
        return commands;
    }
    /// A successful completion notice of a device, handled as the event loop would.
    void notice(MCIDEVICEID of) const {
        notifyWindow.load()->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, of);
        QCoreApplication::sendPostedEvents();
    }
    /// Record, play, save, hiss, maximise, quality (capital: enabled); '*' after record or
    /// play while it shows its stop icon.
    std::string look() const {
        std::string text;
        const int ids[] = {
            R::IDC_RECORD,          R::IDC_PLAY,        R::IDC_SAVE, R::IDC_REMOVE_HISS,
            R::IDC_MAXIMIZE_VOLUME, R::IDC_QUALITY_BEST};
        for (std::size_t i = 0; i < std::size(ids); ++i) {
            text += control(ids[i])->isEnabled() ? "RPSHMQ"[i] : "rpshmq"[i];
            const QImage stop = LoadIconResource(i == 0 ? 178 : 179).pixmap(24).toImage();
            text += i < 2 && control<QPushButton>(ids[i])->icon().pixmap(24).toImage() == stop ? "*"
                                                                                               : "";
        }
        return text;
    }
    bool processed() const {
        return WaitUntil([this] { return dlg().GetState() == R::idle; });
    }
    /// The command that saves the recording of `device` as file.
    std::string savedAs(const std::string& file) const {
        return "save " + std::to_string(device) + " flags=0x102 file=" + file;
    }

    const std::string working = path("Wave Files/~quilon.wa~");
    const std::string hello = path("Wave Files/hello.wav");
    MCIDEVICEID device = 0;
};

TEST_F(CRecorderDlgTest, StatesNoticesLevelAndSavesAcrossTwoRecordings) {
    settings.recordingQuality = 0;
    faders.micVolume.SetValue(32767);
    open();
    EXPECT_EQ(notifyWindow.load(), dlg().GetNotifyWindow()) << "the notices come here";
    EXPECT_EQ(look(), "RpshmQ");
    EXPECT_EQ(faders.micVolume.GetValue(), 32767u) << "opening writes nothing";
    click(R::IDC_QUALITY_BEST);
    EXPECT_EQ(settings.recordingQuality, 2u) << "kept for the Options and saved at the end";

    mci.failNext(MCI_RECORD, MCIERR_NO_INPUT_DEVICE);
    click(R::IDC_RECORD);
    EXPECT_NE(boxes.boxes.at(0).text.find("no microphone"), std::string::npos);
    EXPECT_EQ(look(), "RpshmQ") << "no recording is claimed";
    click(R::IDC_RECORD);
    EXPECT_EQ(look(), "R*pshmq");
    take();
    click(R::IDC_RECORD);
    EXPECT_EQ(look(), "RPSHMQ");
    EXPECT_EQ(take().at(1), savedAs(working));

    click(R::IDC_PLAY);
    EXPECT_EQ(look(), "rP*ShmQ");
    EXPECT_NE(take().at(0).find("element=" + working), std::string::npos);
    const MCIDEVICEID played = device;
    notice(played); // played to its end
    EXPECT_EQ(look(), "RPSHMQ");

    // A second recording; the old playback's late notice is not its end. The first is saved
    // over hello.wav meanwhile: the second must not end up under its name.
    click(R::IDC_RECORD);
    take();
    notice(played);
    EXPECT_EQ(dlg().GetState(), R::recording);
    WriteFileBytes(working, {1, 2, 3});
    files.answer = QString::fromStdString(hello);
    click(R::IDC_SAVE);
    EXPECT_EQ(ReadFileBytes(hello), (Bytes{1, 2, 3}));
    EXPECT_EQ(files.requests.at(0).folder.toStdString(), path("Wave Files"));
    notice(device);
    EXPECT_EQ(look(), "RPSHMQ");
    EXPECT_EQ(take().at(1), savedAs(working));

    // Saved outside the wave folder: a copy, and Play still plays the recording.
    TempDir elsewhere;
    WriteFileBytes(working, {4, 5});
    files.answer = QString::fromStdString(elsewhere.file("copy.wav"));
    click(R::IDC_SAVE);
    EXPECT_EQ(ReadFileBytes(elsewhere.file("copy.wav")), (Bytes{4, 5}));
    EXPECT_EQ(look(), "RPsHMQ");
    EXPECT_EQ(recorder->GetFileName(), "~quilon.wa~");

    // A silent recording cannot be maximised. While it runs nothing else starts, and Esc does
    // not close; then the message names the file, which is as it was.
    WriteWave(working, std::vector<float>(4410, 0.0f),
              {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8});
    const Bytes silent = ReadFileBytes(working);
    click(R::IDC_MAXIMIZE_VOLUME);
    EXPECT_EQ(look(), "rpshmQ");
    EXPECT_FALSE(control(IDOK)->isEnabled() || control(2)->isEnabled()) << "OK, Cancel";
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_TRUE(processed());
    EXPECT_NE(boxes.boxes.at(1).text.find(working + ".\nThe recording is silent"),
              std::string::npos);
    EXPECT_EQ(ReadFileBytes(working), silent);
    EXPECT_EQ(look(), "RPsHMQ");

    auto* bar = control<QSlider>(R::IDC_LEVEL);
    QTest::keyClick(bar, Qt::Key_PageUp);
    EXPECT_GT(faders.micVolume.GetValue(), 32767u) << "up is louder";
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(faders.micVolume.GetValue(), 65500u);

    click(R::IDC_PLAY); // closing silences the playback without asking
    take();
    dialog->close();
    EXPECT_EQ(take(), (std::vector<std::string>{"stop " + std::to_string(device) + " flags=0x2",
                                                "close " + std::to_string(device) + " flags=0x2"}));
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

// A save that fails says why and leaves the file it would have replaced as it was.
TEST_F(CRecorderDlgTest, AFailedSaveNamesItsCauseAndKeepsTheFileItWouldReplace) {
    open();
    click(R::IDC_RECORD);
    click(R::IDC_RECORD);
    WriteFileBytes(hello, {7, 7});
    std::filesystem::create_directory(path("Wave Files/folder.wav"));
    const std::pair<std::string, std::string> cases[] = {
        {hello, "file not found"}, // the working file is gone: the rename fails
        {path("Wave Files/folder.wav"), "access denied to file"},
        {hello + "/under a file.wav", "the operating system did not supply a reason"},
    };
    for (const auto& [target, reason] : cases) {
        files.answer = QString::fromStdString(target);
        click(R::IDC_SAVE);
        EXPECT_EQ(boxes.boxes.back().text,
                  "Unable to save the file " + target + ", reason: " + reason);
        EXPECT_EQ(ReadFileBytes(hello), (Bytes{7, 7}));
        EXPECT_TRUE(control(R::IDC_SAVE)->isEnabled()) << "still to be saved";
        WriteFileBytes(working, {1});
    }
    EXPECT_EQ(boxes.boxes.size(), 3u);
}

// How well each step works is CleanRecordingTest's; here, which file each works on.
TEST_F(CRecorderDlgTest, RemoveHissThenSaveWritesTheCleanedFileAndSavedFilesStayAsSaved) {
    open();
    click(R::IDC_RECORD);
    click(R::IDC_RECORD);
    // What the microphone gave: a tone under hiss.
    std::vector<float> noisy = WhiteNoise(2 * 44100, 0.02);
    for (std::size_t i = 0; i < noisy.size(); ++i) {
        noisy[i] += 0.2f * static_cast<float>(std::sin(i * 0.06));
    }
    WriteWave(working, noisy, {44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
    const Bytes recorded = ReadFileBytes(working);
    click(R::IDC_REMOVE_HISS);
    ASSERT_TRUE(processed());
    EXPECT_EQ(look(), "RPSHMQ") << "each can be applied again";
    files.answer = QString::fromStdString(hello);
    click(R::IDC_SAVE);
    EXPECT_EQ(ReadFileBytes(hello).size(), recorded.size()) << "the format kept";
    EXPECT_NE(ReadFileBytes(hello), recorded) << "the cleaned recording saved";

    // Play plays hello.wav now: it stays as saved, the louder sound is a new recording.
    const Bytes saved = ReadFileBytes(hello);
    click(R::IDC_MAXIMIZE_VOLUME);
    ASSERT_TRUE(processed());
    EXPECT_EQ(ReadFileBytes(hello), saved);
    EXPECT_EQ(recorder->GetFileName(), "~quilon.wa~");
    EXPECT_GT(RmsDb(ReadSoundFile(working).samples), RmsDb(ReadSoundFile(hello).samples) + 1);

    // The program told to end while it runs: the run stops, the file stays, the dialog closes.
    const Bytes louder = ReadFileBytes(working);
    click(R::IDC_REMOVE_HISS);
    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ReadFileBytes(working), louder);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CRecorderDlgTest, OkWhileRecordingKeepsTheRecordingAndAsksToSave) {
    boxes.answer = IDNO;
    open();
    click(R::IDC_RECORD);
    take();
    click(IDOK);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(take().at(1), savedAs(working));
    EXPECT_EQ(boxes.boxes.size(), 1u) << "asked whether to save";
    EXPECT_TRUE(files.requests.empty()) << "No saves nothing";
}

} // namespace
