#include "ui/CRecorderDlg.h"

#include "platform/mci/Mci.h"
#include "tests/ui/DialogFixture.h"
#include "ui/DialogControls.h"
#include "ui/IconResources.h"
#include "ui/MoveFileOver.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <sys/stat.h>

#include <filesystem>

namespace {

using Commands = std::vector<std::string>;

constexpr int kCancel = 2;

// How the dialog looks in one state: which controls are enabled and which icons show.
struct Look {
    bool record, play, save, processing, quality;
    unsigned recordIcon, playIcon;
};

class CRecorderDlgTest : public DialogFixture {
protected:
    void TearDown() override { dialog.reset(); }

    CRecorderDlg& open() {
        dialog = std::make_unique<CRecorderDlg>(context());
        dialog->show();
        mci.take();
        return *dialog;
    }
    QPushButton* button(int id) const { return GetDlgItemAs<QPushButton>(dialog.get(), id); }
    void click(int id) const {
        QTest::mouseClick(GetDlgItemAs<QAbstractButton>(dialog.get(), id), Qt::LeftButton);
    }
    /// The device that the commands opened last.
    static MCIDEVICEID opened(const Commands& commands) {
        MCIDEVICEID device = 0;
        for (const std::string& command : commands) {
            if (command.rfind("open ", 0) == 0) {
                device = SharedRecordingMciPort::openedDevice(command);
            }
        }
        return device;
    }
    /// A successful completion notice of device, handled as the event loop would.
    void notice(MCIDEVICEID device) const {
        notifyWindow.load()->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
        QCoreApplication::sendPostedEvents();
    }
    static bool showsIcon(const QPushButton* button, unsigned id) {
        const QSize size(24, 24);
        return button->icon().pixmap(size).toImage() == LoadIconResource(id).pixmap(size).toImage();
    }
    void expectLook(const Look& look, const char* state) const {
        SCOPED_TRACE(state);
        EXPECT_EQ(button(CRecorderDlg::IDC_RECORD)->isEnabled(), look.record);
        EXPECT_EQ(button(CRecorderDlg::IDC_PLAY)->isEnabled(), look.play);
        EXPECT_EQ(button(CRecorderDlg::IDC_SAVE)->isEnabled(), look.save);
        EXPECT_EQ(button(CRecorderDlg::IDC_REMOVE_HISS)->isEnabled(), look.processing);
        EXPECT_EQ(button(CRecorderDlg::IDC_MAXIMIZE_VOLUME)->isEnabled(), look.processing);
        EXPECT_TRUE(button(CRecorderDlg::IDC_MAXIMIZE_VOLUME)->isHidden());
        for (int id : {CRecorderDlg::IDC_QUALITY_AVERAGE, CRecorderDlg::IDC_QUALITY_BEST}) {
            EXPECT_EQ(GetDlgItem(dialog.get(), id)->isEnabled(), look.quality);
        }
        EXPECT_TRUE(showsIcon(button(CRecorderDlg::IDC_RECORD), look.recordIcon));
        EXPECT_TRUE(showsIcon(button(CRecorderDlg::IDC_PLAY), look.playIcon));
    }
    std::string working() const { return path("Wave Files/~quilon.wa~"); }

    AnsweredFileDialog files;
    std::unique_ptr<CRecorderDlg> dialog;
};

constexpr Look kIdleBeforeRecording{true, false, false, false, true, 163, 150};
constexpr Look kRecording{true, false, false, false, false, 178, 150};
constexpr Look kRecordingUnsaved{true, false, true, false, false, 178, 150};
constexpr Look kIdleAfterRecording{true, true, true, true, true, 163, 150};
constexpr Look kPlaying{false, true, true, false, true, 163, 179};
constexpr Look kIdleSaved{true, true, false, true, true, 163, 150};

TEST_F(CRecorderDlgTest, StatesFollowRecordStopPlayTheNoticesAndSave) {
    settings.recordingQuality = 0;
    open();
    EXPECT_EQ(dialog->windowTitle(), "Quillon Recorder");
    EXPECT_EQ(notifyWindow.load(), dialog->GetNotifyWindow()) << "the notices come here";
    EXPECT_TRUE(
        GetDlgItemAs<QRadioButton>(dialog.get(), CRecorderDlg::IDC_QUALITY_AVERAGE)->isChecked());
    expectLook(kIdleBeforeRecording, "opened");
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
        if (GetControlId(control) != 0) {
            EXPECT_FALSE(
                QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty())
                << GetControlId(control);
        }
    }

    // The quality counts at once: the next recording is 16-bit.
    click(CRecorderDlg::IDC_QUALITY_BEST);
    EXPECT_EQ(settings.recordingQuality, 2u);
    click(CRecorderDlg::IDC_RECORD);
    expectLook(kRecording, "recording");
    EXPECT_EQ(button(CRecorderDlg::IDC_RECORD)->toolTip(), "Stop Recording");
    Commands commands = mci.take();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_NE(commands[1].find("rate=44100 bytes=88200 align=2 bits=16"), std::string::npos);
    const MCIDEVICEID recordingDevice = opened(commands);
    click(CRecorderDlg::IDC_RECORD);
    expectLook(kIdleAfterRecording, "after the first recording");
    EXPECT_EQ(button(CRecorderDlg::IDC_RECORD)->toolTip(), "Start recording from the microphone");
    EXPECT_EQ(mci.take()[1],
              "save " + std::to_string(recordingDevice) + " flags=0x102 file=" + working());

    click(CRecorderDlg::IDC_PLAY);
    expectLook(kPlaying, "playing");
    EXPECT_EQ(button(CRecorderDlg::IDC_PLAY)->toolTip(), "Stop playing the recorded announcement");
    commands = mci.take();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_NE(commands[0].find("element=" + working()), std::string::npos) << commands[0];
    const MCIDEVICEID playDevice = opened(commands);
    notice(playDevice); // played to its end
    expectLook(kIdleAfterRecording, "played");
    EXPECT_EQ(button(CRecorderDlg::IDC_PLAY)->toolTip(), "Play back recorded announcement");

    // A second recording while the first is unsaved; the old playback's late notice is not
    // its end. The first is saved meanwhile: the second must not end up under its name.
    click(CRecorderDlg::IDC_RECORD);
    expectLook(kRecordingUnsaved, "recording again");
    const MCIDEVICEID secondDevice = opened(mci.take());
    notice(playDevice);
    EXPECT_EQ(dialog->GetState(), CRecorderDlg::recording);
    const std::string hello = path("Wave Files/hello.wav");
    WriteFileBytes(working(), {1, 2, 3});
    files.answer = QString::fromStdString(hello);
    click(CRecorderDlg::IDC_SAVE);
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].folder.toStdString(), path("Wave Files"));
    EXPECT_EQ(files.requests[0].filter, "Quillon Wave Files (*.wav)");
    EXPECT_EQ(files.requests[0].defaultSuffix, "wav");
    EXPECT_TRUE(files.requests[0].overwritePrompt);
    EXPECT_EQ(ReadFileBytes(hello), (Bytes{1, 2, 3}));
    EXPECT_FALSE(std::filesystem::exists(working()));
    expectLook(kRecording, "recording, the first saved");
    notice(secondDevice);
    expectLook(kIdleAfterRecording, "recording ended by itself");
    EXPECT_EQ(mci.take()[1],
              "save " + std::to_string(secondDevice) + " flags=0x102 file=" + working());

    // Saved over the first, it is what Play plays; a new recording goes to the working name.
    WriteFileBytes(working(), {4, 5});
    click(CRecorderDlg::IDC_SAVE);
    EXPECT_EQ(ReadFileBytes(hello), (Bytes{4, 5}));
    expectLook(kIdleSaved, "saved");
    click(CRecorderDlg::IDC_PLAY);
    EXPECT_NE(mci.take()[0].find("element=" + hello), std::string::npos);
    click(CRecorderDlg::IDC_PLAY);
    click(CRecorderDlg::IDC_RECORD);
    click(CRecorderDlg::IDC_RECORD);
    const Commands last = mci.take();
    EXPECT_EQ(last[last.size() - 2],
              "save " + std::to_string(opened(last)) + " flags=0x102 file=" + working());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CRecorderDlgTest, WithoutAMicrophoneRecordSaysSoAndNothingIsClaimed) {
    open();
    mci.failNext(MCI_RECORD, MCIERR_NO_INPUT_DEVICE);
    click(CRecorderDlg::IDC_RECORD);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("no microphone"), std::string::npos) << boxes.boxes[0].text;
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONSTOP);
    expectLook(kIdleBeforeRecording, "no recording was made");
    EXPECT_FALSE(recorder->IsRecording());

    click(CRecorderDlg::IDC_RECORD); // a microphone was plugged in
    expectLook(kRecording, "recording");
}

TEST_F(CRecorderDlgTest, TheLevelShowsTheMicrophoneFaderAndTheBarSetsIt) {
    faders.micVolume.SetValue(32767);
    open();
    auto* bar = GetDlgItemAs<QSlider>(dialog.get(), CRecorderDlg::IDC_LEVEL);
    auto* text = GetDlgItemAs<QLabel>(dialog.get(), CRecorderDlg::IDC_LEVEL_TEXT);
    EXPECT_EQ(text->text(), "50");
    EXPECT_EQ(bar->value(), (bar->minimum() + bar->maximum()) / 2) << "in the middle";
    EXPECT_EQ(faders.micVolume.GetValue(), 32767u) << "opening writes nothing";

    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_PageUp);
    EXPECT_EQ(text->text(), "70") << "up is louder";
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(text->text(), "100");
    EXPECT_EQ(faders.micVolume.GetValue(), 65500u);
}

TEST_F(CRecorderDlgTest, ClosingStopsWhatRunsAndOnlyOkAsksToSave) {
    struct Case {
        const char* way;
        bool playing;
        std::function<void(CRecorderDlg&)> close;
        bool asks;
    };
    const std::vector<Case> cases = {
        {"OK while recording", false, [](CRecorderDlg& d) { d.accept(); }, true},
        {"Esc while recording", false, [](CRecorderDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); },
         false},
        {"Cancel while playing", true, [this](CRecorderDlg&) { click(kCancel); }, false},
        {"window close while playing", true, [](CRecorderDlg& d) { d.close(); }, false},
    };
    boxes.answer = IDNO;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        boxes.boxes.clear();
        open();
        click(CRecorderDlg::IDC_RECORD);
        if (c.playing) {
            click(CRecorderDlg::IDC_RECORD);
            click(CRecorderDlg::IDC_PLAY);
        }
        const MCIDEVICEID device = opened(mci.take());
        c.close(*dialog);
        EXPECT_FALSE(dialog->isVisible());
        const Commands commands = mci.take();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.front(), "stop " + std::to_string(device) + " flags=0x2");
        if (!c.playing) {
            EXPECT_EQ(commands[1].rfind("save ", 0), 0u) << "the recording is kept";
        }
        EXPECT_EQ(commands.back(), "close " + std::to_string(device) + " flags=0x2");
        ASSERT_EQ(boxes.boxes.size(), c.asks ? 1u : 0u);
        if (c.asks) {
            EXPECT_EQ(boxes.boxes[0].text, "Do you want to save this announcement?");
            EXPECT_EQ(boxes.boxes[0].type, MB_YESNO | MB_ICONQUESTION);
        }
        EXPECT_TRUE(files.requests.empty()) << "No saves nothing";
    }
}

TEST_F(CRecorderDlgTest, ASaveThatFailsKeepsTheFileItWouldHaveReplaced) {
    open();
    click(CRecorderDlg::IDC_RECORD);
    click(CRecorderDlg::IDC_RECORD);
    const std::string hello = path("Wave Files/hello.wav");
    WriteFileBytes(hello, {7, 7});
    std::filesystem::create_directory(path("Wave Files/folder.wav"));
    struct Failure {
        std::string target;
        const char* reason;
        Bytes working; ///< none: the recording was removed meanwhile
    };
    const Failure failures[] = {
        {hello, "file not found", {}},
        {path("Wave Files/folder.wav"), "access denied to file", {1, 2}},
    };
    for (const auto& [target, reason, bytes] : failures) {
        if (!bytes.empty()) {
            WriteFileBytes(working(), bytes);
        }
        boxes.boxes.clear();
        files.answer = QString::fromStdString(target);
        click(CRecorderDlg::IDC_SAVE);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text,
                  "Unable to save the file " + target + ", reason: " + std::string(reason));
        EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONSTOP);
        EXPECT_TRUE(dialog->IsUnsaved());
        EXPECT_TRUE(button(CRecorderDlg::IDC_SAVE)->isEnabled());
    }
    EXPECT_EQ(ReadFileBytes(hello), (Bytes{7, 7}));

    // Saved outside the wave folder: a copy, and Play still plays the recording.
    TempDir elsewhere;
    const std::string copy = elsewhere.file("copy.wav");
    files.answer = QString::fromStdString(copy);
    click(CRecorderDlg::IDC_SAVE);
    EXPECT_EQ(ReadFileBytes(copy), (Bytes{1, 2}));
    EXPECT_EQ(recorder->GetFileName(), "~quilon.wa~");
    EXPECT_FALSE(dialog->IsUnsaved());

    struct stat shm {};
    struct stat tmp {};
    // Moved across file systems, where there are two: copied, then the original removed.
    if (::stat("/dev/shm", &shm) == 0 && ::stat(data.path().c_str(), &tmp) == 0 &&
        shm.st_dev != tmp.st_dev) {
        const std::string across = "/dev/shm/quillon-move-" + std::to_string(::getpid());
        EXPECT_EQ(MoveFileOver(working(), across), CFileException::none);
        EXPECT_EQ(ReadFileBytes(across), (Bytes{1, 2}));
        EXPECT_FALSE(std::filesystem::exists(working()));
        std::filesystem::remove(across);
    }
}

} // namespace
