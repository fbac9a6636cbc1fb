#include "ui/CLaunchPadDlg.h"

#include "model/MoxPlayListPlayer.h"
#include "platform/mci/Mci.h"
#include "tests/ui/LaunchPadFixture.h"
#include "ui/DialogControls.h"
#include "ui/HelpWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <thread>

namespace {

using CLaunchPadDlgTest = LaunchPadFixture;
using Commands = std::vector<std::string>;

constexpr const char* kIdleTitle = "Quillon Launch Pad";

TEST_F(CLaunchPadDlgTest, ListsThePlayListsAndSelectsThePreferredOneByTheBeginningOfItsName) {
    WriteFileBytes(path("not a list.txt"), {1});
    open();
    EXPECT_EQ(combo()->count(), 0);
    EXPECT_FALSE(button(CLaunchPadDlg::IDC_PLAY_STOP)->isEnabled()) << "nothing to play";
    EXPECT_TRUE(button(CLaunchPadDlg::IDC_EDITOR)->isEnabled());

    writeWaveList("b.pla", {"b.wav"});
    writeWaveList("A.pla", {"a.wav"});
    writeWaveList("Bar.pla", {"c.wav"});
    dialog.reset();
    open();
    EXPECT_EQ(entries(), (Commands{"A.pla", "b.pla", "Bar.pla"}));
    EXPECT_EQ(combo()->currentText(), "A.pla") << "no preferred list: the first";
    EXPECT_TRUE(button(CLaunchPadDlg::IDC_PLAY_STOP)->isEnabled());

    dialog.reset();
    settings.defaultPlayList = "BA";
    open();
    EXPECT_EQ(combo()->currentText(), "Bar.pla");

    dialog.reset();
    settings.defaultPlayList = "nothing like it";
    open();
    EXPECT_EQ(combo()->currentIndex(), -1) << "no entry begins with it: none is selected";
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CLaunchPadDlgTest, PlayAndStopFollowTheButton) {
    writeWaveList("A.pla", {"one.wav", "two.wav"});
    auto& dlg = open();
    QPushButton* play = button(CLaunchPadDlg::IDC_PLAY_STOP);

    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Playing: " + path("A.pla"));
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_TRUE(showsStopIcon());
    EXPECT_EQ(play->toolTip(), "Stop playing this Play List");
    EXPECT_FALSE(button(CLaunchPadDlg::IDC_EDITOR)->isEnabled());
    EXPECT_FALSE(button(CLaunchPadDlg::IDC_RECORDER)->isEnabled());
    const auto opened = mci.waitFor("open type=522");
    ASSERT_TRUE(opened.has_value());
    EXPECT_NE(opened->find("element=" + path("Wave Files/one.wav")), std::string::npos) << *opened;
    ASSERT_TRUE(mci.waitFor("play "));

    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(kIdleTitle));
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_TRUE(showsPlayIcon());
    EXPECT_TRUE(button(CLaunchPadDlg::IDC_EDITOR)->isEnabled());
    EXPECT_TRUE(button(CLaunchPadDlg::IDC_RECORDER)->isEnabled());
    const auto device = SharedRecordingMciPort::openedDevice(*opened);
    EXPECT_EQ(mci.take(), (Commands{"stop " + std::to_string(device) + " flags=0x2",
                                    "close " + std::to_string(device) + " flags=0x2"}))
        << "stopping stops the item that plays";
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CLaunchPadDlgTest, ACompletionNoticeFromAnotherThreadMovesThePlayerOn) {
    writeWaveList("A.pla", {"one.wav", "two.wav"});
    open();
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    const auto first = mci.waitFor("open type=522");
    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(mci.waitFor("play "));
    const MCIDEVICEID device = SharedRecordingMciPort::openedDevice(*first);

    // The notice is posted from another thread, as the sound engine posts it.
    NotifyWindow* window = notifyWindow.load();
    ASSERT_EQ(window, dialog->GetNotifyWindow());
    std::thread([window, device] {
        window->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(device));
    }).join();
    EXPECT_FALSE(mci.waitFor("close", std::chrono::milliseconds(100)))
        << "handled on the interface thread, not in PostMessage";
    QCoreApplication::processEvents();
    const auto second = mci.waitFor("open type=522");
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(second->find("two.wav"), std::string::npos) << *second;
    EXPECT_TRUE(player->IsPlaying());

    // A late notice of the first item, whose device is closed, changes nothing.
    window->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(device));
    QCoreApplication::processEvents();
    EXPECT_FALSE(mci.waitFor("open", std::chrono::milliseconds(200)));
}

TEST_F(CLaunchPadDlgTest, TheEditFieldNamesTheListToPlayAndEnterTogglesPlayAndStop) {
    writeWaveList("A.pla", {"one.wav"});
    auto& dlg = open();
    combo()->setEditText("nothing by that name");
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "There are no playlists in this folder.  Please create a "
                                   "playlist before trying to play it.");
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(dlg.IsPlaying());
    EXPECT_TRUE(showsPlayIcon());

    combo()->setEditText("a.PLA"); // a name typed in full, in other letters
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    EXPECT_TRUE(dlg.IsPlaying());
    EXPECT_EQ(boxes.boxes.size(), 1u);

    QWidget* field = combo()->lineEdit();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(dlg.IsPlaying());
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_TRUE(dlg.isVisible()) << "Enter is not the exit button";
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(dlg.IsPlaying());
    EXPECT_TRUE(player->IsPlaying());
}

TEST_F(CLaunchPadDlgTest, ADamagedPlayListIsReportedAndTheLaunchPadStaysUsable) {
    WriteFileBytes(path("Broken.pla"), {100, 0, 0, 0, 200, 'a'}); // a name that runs out
    writeWaveList("Good.pla", {"one.wav"});
    auto& dlg = open();
    ASSERT_EQ(combo()->currentText(), "Broken.pla");
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);

    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONSTOP);
    EXPECT_NE(boxes.boxes[0].text.find(path("Broken.pla")), std::string::npos)
        << boxes.boxes[0].text;
    EXPECT_NE(boxes.boxes[0].text.find("damaged"), std::string::npos) << boxes.boxes[0].text;
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(kIdleTitle));
    EXPECT_TRUE(showsPlayIcon());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";

    // A file that cannot be opened at all.
    std::filesystem::remove(path("Broken.pla"));
    std::filesystem::create_directory(path("Broken.pla"));
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_NE(boxes.boxes[1].text.find(path("Broken.pla")), std::string::npos)
        << boxes.boxes[1].text;
    EXPECT_FALSE(dlg.IsPlaying());

    combo()->setCurrentIndex(combo()->findText("Good.pla"));
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    EXPECT_TRUE(dlg.IsPlaying());
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(CLaunchPadDlgTest, AMissingPreferredOrRemovedPlayListIsReportedOnceInCapitals) {
    writeWaveList("Lobby.pla", {"one.wav"});
    settings.playDefaultPlayList = 1;
    settings.defaultPlayList = "Evening Music.pla";
    auto& dlg = open();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "Unable to find your preferred Play List file EVENING MUSIC.PLA.");
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONSTOP);
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(kIdleTitle));
    EXPECT_TRUE(button(CLaunchPadDlg::IDC_EDITOR)->isEnabled());

    // Removed since the list was filled: the same message, with the full path.
    combo()->setCurrentIndex(combo()->findText("Lobby.pla"));
    std::filesystem::remove(path("Lobby.pla"));
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    const std::string shown = QString::fromStdString(path("Lobby.pla")).toUpper().toStdString();
    EXPECT_EQ(boxes.boxes[1].text, "Unable to find your preferred Play List file " + shown + ".");
    EXPECT_FALSE(dlg.IsPlaying());
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(kIdleTitle));
}

TEST_F(CLaunchPadDlgTest, SendToTaskbarStartsMinimisedAndTheTaskbarButtonMinimisesWhilePlaying) {
    writeWaveList("Lobby.pla", {"one.wav"});
    settings.sendToTaskbar = 1;
    auto& minimised = open();
    EXPECT_TRUE(minimised.isMinimized());
    EXPECT_FALSE(minimised.IsPlaying());

    dialog.reset();
    settings.sendToTaskbar = 0;
    auto& dlg = open();
    EXPECT_FALSE(dlg.isMinimized());
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    ASSERT_TRUE(dlg.IsPlaying());
    QTest::mouseClick(button(CLaunchPadDlg::IDC_SEND_TO_TASKBAR), Qt::LeftButton);
    EXPECT_TRUE(dlg.isMinimized());
    EXPECT_TRUE(player->IsPlaying()) << "the music plays on";
}

TEST_F(CLaunchPadDlgTest, ClosingWhilePlayingStopsThePlayerAndReleasesTheWindow) {
    writeWaveList("Lobby.pla", {"one.wav"});
    auto& dlg = open();
    EXPECT_EQ(notifyWindow.load(), dlg.GetNotifyWindow());
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    const auto opened = mci.waitFor("open type=522");
    ASSERT_TRUE(opened.has_value());
    ASSERT_TRUE(mci.waitFor("play "));

    ASSERT_FALSE(faders.playbackVolumeControls.empty());
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(notifyWindow.load(), nullptr);
    EXPECT_TRUE(faders.playbackVolumeControls.empty()) << "the fader copies are released";
    EXPECT_TRUE(faders.recordVolumeControls.empty());
    const auto device = std::to_string(SharedRecordingMciPort::openedDevice(*opened));
    EXPECT_EQ(mci.take(),
              (Commands{"stop " + device + " flags=0x2", "close " + device + " flags=0x2"}));
}

TEST_F(CLaunchPadDlgTest, HelpShowsTheUserGuideInAWindowThatClosesWithTheLaunchPad) {
    auto& dlg = open();
    EXPECT_EQ(dlg.GetHelpWindow(), nullptr);
    QTest::mouseClick(button(CLaunchPadDlg::ID_HELP), Qt::LeftButton);
    HelpWindow* help = dlg.GetHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->Text().contains("Wave Files"));
    QTest::mouseClick(button(CLaunchPadDlg::ID_HELP), Qt::LeftButton);
    EXPECT_EQ(dlg.GetHelpWindow(), help) << "one help window";

    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dlg.GetHelpWindow(), nullptr) << "a closed help window goes";
    QApplication::setActiveWindow(&dlg);
    QTest::keyClick(&dlg, Qt::Key_F1);
    help = dlg.GetHelpWindow();
    ASSERT_NE(help, nullptr) << "the help key opens it again";
    EXPECT_TRUE(help->isVisible());

    dlg.close();
    EXPECT_FALSE(help->isVisible());
}

TEST_F(CLaunchPadDlgTest, TheContextMenuOffersTheAboutBox) {
    auto& dlg = open();
    QStringList entries;
    QTimer::singleShot(0, [&entries] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions()) {
                entries << action->text();
            }
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dlg.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&dlg, &event);
    EXPECT_EQ(entries, QStringList{"&About Quillon..."});
}

} // namespace
