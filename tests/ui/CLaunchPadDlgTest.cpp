#include "ui/CLaunchPadDlg.h"

#include "app/StartupShortcut.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/mci/Mci.h"
#include "tests/ui/DialogFixture.h"
#include "ui/CAboutDlg.h"
#include "ui/CAudioItemPropertiesDlg.h"
#include "ui/COptionsDlg.h"
#include "ui/CPlayListCtrl.h"
#include "ui/CPlayListEditorDlg.h"
#include "ui/CRecorderDlg.h"
#include "ui/HelpWindow.h"
#include "ui/IconResources.h"
#include "ui/QtLaunchPad.h"
#include "ui/QtMessageBoxHandler.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <thread>

namespace {

using Commands = std::vector<std::string>;
using L = CLaunchPadDlg;

class CLaunchPadDlgTest : public DialogFixture {
protected:
    L& open() { return DialogFixture::open<L>(); }
    QComboBox* combo() const { return control<QComboBox>(L::IDC_PLAYLIST_COMBO); }
    /// Whether the play/stop button shows its stop icon (else its play icon).
    bool showsStop() const {
        return control<QPushButton>(L::IDC_PLAY_STOP)->icon().pixmap(24).toImage() ==
               LoadIconResource(179).pixmap(24).toImage();
    }
    /// Whether the editor and recorder can be opened: not while a list plays.
    bool othersEnabled() const {
        return control(L::IDC_EDITOR)->isEnabled() && control(L::IDC_RECORDER)->isEnabled();
    }
};

TEST_F(CLaunchPadDlgTest, ListsThePlayListsAndSelectsThePreferredOneByTheBeginningOfItsName) {
    WriteFileBytes(path("not a list.txt"), {1});
    open();
    EXPECT_EQ(combo()->count(), 0);
    EXPECT_FALSE(control(L::IDC_PLAY_STOP)->isEnabled()) << "nothing to play";

    writeWaveList("b.pla", {"b.wav"});
    writeWaveList("A.pla", {"a.wav"});
    writeWaveList("Bar.pla", {"c.wav"});
    for (const auto& [preferred, selected] :
         {std::pair{"", "A.pla"}, {"BA", "Bar.pla"}, {"nothing like it", ""}}) {
        settings.defaultPlayList = preferred;
        open();
        EXPECT_EQ(entries(), (Commands{"A.pla", "b.pla", "Bar.pla"}));
        EXPECT_EQ(combo()->currentText().toStdString(), selected) << preferred;
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

// A missing file is passed over and said why; the button or closing stops what plays.
TEST_F(CLaunchPadDlgTest, NoticesMoveThePlayerOnAndTheButtonOrClosingStopsTheItemThatPlays) {
    writeWaveList("A.pla", {"gone.wav", "one.wav", "two.wav"});
    auto& dlg = open();
    ASSERT_EQ(notifyWindow.load(), dlg.GetNotifyWindow());
    for (const bool byButton : {true, false}) {
        mci.failNext(MCI_OPEN, MCIERR_FILE_NOT_FOUND);
        click(L::IDC_PLAY_STOP);
        EXPECT_TRUE(showsStop());
        EXPECT_FALSE(othersEnabled());
        EXPECT_NE(mci.waitFor("open type=522").value_or("").find("gone.wav"), std::string::npos);
        auto opened = mci.waitFor("open type=522");
        ASSERT_TRUE(opened.has_value());
        EXPECT_NE(opened->find("element=" + path("Wave Files/one.wav")), std::string::npos);
        ASSERT_TRUE(mci.waitFor("play "));
        ASSERT_TRUE(WaitUntil([&dlg] { return !dlg.GetSkipReason().isEmpty(); }));
        const QString skipped = dlg.GetSkipReason();
        EXPECT_TRUE(skipped.contains("gone.wav")) << skipped.toStdString();
        auto device = std::to_string(SharedRecordingMciPort::openedDevice(*opened));
        if (byButton) {
            // A notice posted from another thread, as the sound engine posts it, is handled in
            // the event loop: the next item plays.
            std::thread([window = notifyWindow.load(), id = std::stol(device)] {
                window->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, id);
            }).join();
            QCoreApplication::sendPostedEvents();
            opened = mci.waitFor("open type=522");
            ASSERT_TRUE(opened.has_value());
            EXPECT_NE(opened->find("two.wav"), std::string::npos) << *opened;
            ASSERT_TRUE(mci.waitFor("play "));
            device = std::to_string(SharedRecordingMciPort::openedDevice(*opened));
            click(L::IDC_SEND_TO_TASKBAR);
            EXPECT_TRUE(dlg.isMinimized());
            EXPECT_TRUE(player->IsPlaying()) << "the music plays on";
            click(L::IDC_PLAY_STOP);
            EXPECT_FALSE(showsStop());
            EXPECT_TRUE(othersEnabled());
            EXPECT_TRUE(dlg.GetSkipReason().isEmpty()) << "said while playing only";
        } else {
            dlg.close();
            EXPECT_EQ(dlg.result(), QDialog::Rejected);
            EXPECT_EQ(notifyWindow.load(), nullptr);
            EXPECT_TRUE(faders.playbackVolumeControls.empty()) << "the fader copies are released";
        }
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_EQ(mci.take(),
                  (Commands{"stop " + device + " flags=0x2", "close " + device + " flags=0x2"}));
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CLaunchPadDlgTest, TheEditFieldNamesTheListToPlayAndEnterTogglesPlayAndStop) {
    writeWaveList("A.pla", {"one.wav"});
    auto& dlg = open();
    combo()->setEditText("nothing by that name");
    click(L::IDC_PLAY_STOP);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(dlg.IsPlaying());

    combo()->setEditText("a.PLA"); // a name typed in full, in other letters
    click(L::IDC_PLAY_STOP);
    EXPECT_TRUE(dlg.IsPlaying());
    combo()->lineEdit()->setFocus();
    for (const bool playing : {false, true}) {
        QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(player->IsPlaying(), playing);
        EXPECT_TRUE(dlg.isVisible()) << "Enter is not the exit button";
    }
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(CLaunchPadDlgTest, ADamagedUnreadableOrMissingPlayListIsReportedAndTheLaunchPadStaysUsable) {
    writeWaveList("Lobby.pla", {"one.wav"});
    settings.playDefaultPlayList = 1;
    settings.defaultPlayList = "Evening Music.pla";
    WriteFileBytes(path("Broken.pla"), {100, 0, 0, 0, 200, 'a'}); // a name that runs out
    writeWaveList("Good.pla", {"one.wav"});
    open();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "Unable to find your preferred Play List file EVENING MUSIC.PLA.");
    combo()->setCurrentIndex(combo()->findText("Broken.pla"));
    // Damaged, then a file that cannot be opened at all, then removed since the list was filled.
    for (const char* damage : {"damaged", "Broken.pla", "Unable to find"}) {
        click(L::IDC_PLAY_STOP);
        ASSERT_FALSE(boxes.boxes.empty());
        const auto& box = boxes.boxes.back();
        EXPECT_EQ(box.type, MB_OK | MB_ICONSTOP);
        EXPECT_NE(QString::fromStdString(box.text).toUpper().indexOf(
                      QString::fromStdString(path("Broken.pla")).toUpper()),
                  -1)
            << box.text;
        EXPECT_NE(box.text.find(damage), std::string::npos) << box.text;
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_FALSE(showsStop());
        EXPECT_TRUE(othersEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
        std::filesystem::remove_all(path("Broken.pla"));
        if (std::string(damage) == "damaged") {
            std::filesystem::create_directory(path("Broken.pla"));
        }
    }
    combo()->setCurrentIndex(combo()->findText("Good.pla"));
    click(L::IDC_PLAY_STOP);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_EQ(boxes.boxes.size(), 4u);
}

TEST_F(CLaunchPadDlgTest, HelpShowsTheUserGuideInOneWindowAndTheContextMenuOffersAbout) {
    auto& dlg = open();
    QApplication::setActiveWindow(&dlg);
    QTest::keyClick(&dlg, Qt::Key_F1);
    HelpWindow* help = dlg.GetHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->Text().contains("Wave Files"));
    click(L::ID_HELP);
    EXPECT_EQ(dlg.GetHelpWindow(), help) << "one help window";

    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions()) {
                offered << action->text();
            }
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dlg.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&dlg, &event);
    EXPECT_EQ(offered, QStringList{"&About Quillon..."});
    dlg.close();
    EXPECT_FALSE(help->isVisible()) << "help closes with the Launch Pad";
}

// What a screen reader says of each control: a name for every one, a button's that shows only
// its icon its tool tip, a volume slider's the row it sets.
TEST_F(CLaunchPadDlgTest, EveryControlOfEveryDialogHasAName) {
    int iconButtons = 0;
    const auto expectNamed = [&iconButtons](QWidget& dlg) {
        int controls = 0;
        for (QWidget* widget : dlg.findChildren<QWidget*>()) {
            if (GetControlId(widget) == 0 && qobject_cast<QAbstractButton*>(widget) == nullptr &&
                qobject_cast<QSlider*>(widget) == nullptr) {
                continue;
            }
            ++controls;
            const QString name =
                QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
            const std::string what = dlg.metaObject()->className() + std::string(" ") +
                                     widget->metaObject()->className() + " " +
                                     std::to_string(GetControlId(widget));
            EXPECT_FALSE(name.isEmpty()) << what;
            if (const auto* button = qobject_cast<QAbstractButton*>(widget);
                button != nullptr && button->text().isEmpty()) { // shows only its icon
                EXPECT_EQ(name, widget->toolTip()) << what;
                ++iconButtons;
            }
        }
        EXPECT_GT(controls, 0) << dlg.metaObject()->className();
    };
    expectNamed(open());
    auto& editor = DialogFixture::open<CPlayListEditorDlg>();
    editor.PlayListView()->AddRow(0, QStringLiteral("row 7.wav"), 1, 7, 102);
    expectNamed(editor);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(editor.PlayListView()->GetRowSlider(0))
                  ->text(QAccessible::Name),
              "Volume of row 7.wav");
    expectNamed(DialogFixture::open<CRecorderDlg>());
    expectNamed(DialogFixture::open<COptionsDlg>());
    CAboutDlg about(GetExecutablePath());
    expectNamed(about);
    CAudioItemPropertiesDlg properties;
    expectNamed(properties);
    EXPECT_GT(iconButtons, 5);
}

// The Launch Pad as start-up runs it, ended as the end of the session ends it: whatever is
// open above it goes first, top down.
TEST_F(CLaunchPadDlgTest,
       RunByStartUpEndingRejectsTheDialogsFromTheTopEachAfterTheOneAboveReturned) {
    writeWaveList("Lobby.pla", {"one.wav"});
    settings = {0, 1, 1, 1, "lobby.PLA"}; // as stored; the file's name differs in case
    QtLaunchPad launchPad(context());
    std::vector<std::string> log;
    QTimer::singleShot(0, [&] {
        // The preferred list plays at once, in a window sent to the taskbar.
        ASSERT_TRUE(launchPad.Dialog()->IsPlaying());
        EXPECT_TRUE(launchPad.Dialog()->isMinimized());
        QDialog editor(launchPad.Dialog());
        QDialog question(&editor);
        QObject::connect(&editor, &QDialog::rejected, [&] { log.push_back("reject editor"); });
        QObject::connect(&question, &QDialog::rejected, [&] { log.push_back("reject question"); });
        QTimer::singleShot(0, &editor, [&] {
            QTimer::singleShot(0, &question, [&] { launchPad.EndAsExitButton(); });
            question.exec();
            log.push_back("question returned");
        });
        editor.exec();
        log.push_back("editor returned");
    });
    EXPECT_EQ(launchPad.RunModal(), QDialog::Accepted) << "as the exit button ends it";
    EXPECT_EQ(log, (std::vector<std::string>{"reject question", "question returned",
                                             "reject editor", "editor returned"}));
    EXPECT_FALSE(player->IsPlaying());
    launchPad.Destroy();

    // Asked while the Launch Pad, opening, says that its preferred list is missing: the
    // message box goes first, then the Launch Pad once it runs.
    settings.defaultPlayList = "gone.pla";
    QtMessageBoxHandler realBoxes;
    MessageBoxHandler* const captured = InstallMessageBoxHandler(&realBoxes);
    QtLaunchPad opening(context());
    QTimer::singleShot(0, [&] {
        const QWidget* top = QApplication::activeModalWidget();
        log.push_back(top != nullptr ? top->metaObject()->className() : "nothing");
        opening.EndAsExitButton();
    });
    EXPECT_EQ(opening.RunModal(), QDialog::Accepted);
    InstallMessageBoxHandler(captured);
    EXPECT_EQ(log.back(), "QMessageBox");
    opening.Destroy();

    // Asked before it runs: it ends as soon as it runs (or is rejected, failing, after 5 s).
    QtLaunchPad early(context());
    early.EndAsExitButton();
    QObject guard;
    QTimer::singleShot(5000, &guard, [&early] { early.Dialog()->reject(); });
    EXPECT_EQ(early.RunModal(), QDialog::Accepted);
    early.Destroy();
}

} // namespace
