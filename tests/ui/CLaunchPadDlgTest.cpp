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

const QString kIdleTitle = "Quillon Launch Pad";

TEST_F(CLaunchPadDlgTest, ListsThePlayListsAndSelectsThePreferredOneByTheBeginningOfItsName) {
    WriteFileBytes(path("not a list.txt"), {1});
    open();
    EXPECT_EQ(combo()->count(), 0);
    EXPECT_FALSE(button(CLaunchPadDlg::IDC_PLAY_STOP)->isEnabled()) << "nothing to play";

    writeWaveList("b.pla", {"b.wav"});
    writeWaveList("A.pla", {"a.wav"});
    writeWaveList("Bar.pla", {"c.wav"});
    for (const auto& [preferred, selected] :
         {std::pair{"", "A.pla"}, {"BA", "Bar.pla"}, {"nothing like it", ""}}) {
        settings.defaultPlayList = preferred;
        open();
        EXPECT_EQ(entries(), (Commands{"A.pla", "b.pla", "Bar.pla"}));
        EXPECT_EQ(combo()->currentText().toStdString(), selected) << preferred;
        EXPECT_TRUE(button(CLaunchPadDlg::IDC_PLAY_STOP)->isEnabled());
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CLaunchPadDlgTest, ThePreferredPlayListPlaysAtOnceInAMinimisedWindow) {
    writeWaveList("Lobby.pla", {"one.wav"});
    writeWaveList("Another.pla", {"two.wav"});
    settings = {0, 1, 1, 1, "lobby.PLA"}; // as stored; the file's name differs in case
    auto& dlg = open();
    EXPECT_TRUE(dlg.isMinimized());
    EXPECT_TRUE(dlg.IsPlaying());
    EXPECT_EQ(dlg.windowTitle(), "Playing: lobby.PLA");
    EXPECT_EQ(combo()->currentText(), "Lobby.pla");
    EXPECT_FALSE(button(CLaunchPadDlg::IDC_EDITOR)->isEnabled());
    const auto opened = mci.waitFor("open type=522");
    ASSERT_TRUE(opened.has_value());
    EXPECT_NE(opened->find("one.wav"), std::string::npos) << *opened;
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CLaunchPadDlgTest, NoticesMoveThePlayerOnAndTheButtonOrClosingStopsTheItemThatPlays) {
    writeWaveList("A.pla", {"one.wav", "two.wav"});
    auto& dlg = open();
    ASSERT_EQ(notifyWindow.load(), dlg.GetNotifyWindow());
    QPushButton* play = button(CLaunchPadDlg::IDC_PLAY_STOP);
    for (const bool byButton : {true, false}) {
        QTest::mouseClick(play, Qt::LeftButton);
        EXPECT_EQ(dlg.windowTitle().toStdString(), "Playing: " + path("A.pla"));
        EXPECT_TRUE(showsStop());
        EXPECT_EQ(play->toolTip(), "Stop playing this Play List");
        EXPECT_FALSE(button(CLaunchPadDlg::IDC_EDITOR)->isEnabled());
        EXPECT_FALSE(button(CLaunchPadDlg::IDC_RECORDER)->isEnabled());
        auto opened = mci.waitFor("open type=522");
        ASSERT_TRUE(opened.has_value());
        EXPECT_NE(opened->find("element=" + path("Wave Files/one.wav")), std::string::npos);
        ASSERT_TRUE(mci.waitFor("play "));
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
            QTest::mouseClick(button(CLaunchPadDlg::IDC_SEND_TO_TASKBAR), Qt::LeftButton);
            EXPECT_TRUE(dlg.isMinimized());
            EXPECT_TRUE(player->IsPlaying()) << "the music plays on";
            QTest::mouseClick(play, Qt::LeftButton);
            EXPECT_EQ(dlg.windowTitle(), kIdleTitle);
            EXPECT_FALSE(showsStop());
            EXPECT_TRUE(button(CLaunchPadDlg::IDC_EDITOR)->isEnabled());
            EXPECT_TRUE(button(CLaunchPadDlg::IDC_RECORDER)->isEnabled());
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
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "There are no playlists in this folder.  Please create a "
                                   "playlist before trying to play it.");
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(dlg.IsPlaying());

    combo()->setEditText("a.PLA"); // a name typed in full, in other letters
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    EXPECT_TRUE(dlg.IsPlaying());
    combo()->lineEdit()->setFocus();
    for (const bool playing : {false, true}) {
        QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(dlg.IsPlaying(), playing);
        EXPECT_EQ(player->IsPlaying(), playing);
        EXPECT_TRUE(dlg.isVisible()) << "Enter is not the exit button";
    }
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(CLaunchPadDlgTest, ADamagedOrUnreadablePlayListIsReportedAndTheLaunchPadStaysUsable) {
    WriteFileBytes(path("Broken.pla"), {100, 0, 0, 0, 200, 'a'}); // a name that runs out
    writeWaveList("Good.pla", {"one.wav"});
    auto& dlg = open();
    ASSERT_EQ(combo()->currentText(), "Broken.pla");
    for (const char* damage : {"damaged", ""}) {
        QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
        ASSERT_FALSE(boxes.boxes.empty());
        const auto& box = boxes.boxes.back();
        EXPECT_EQ(box.type, MB_OK | MB_ICONSTOP);
        EXPECT_NE(box.text.find(path("Broken.pla")), std::string::npos) << box.text;
        EXPECT_NE(box.text.find(damage), std::string::npos) << box.text;
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_EQ(dlg.windowTitle(), kIdleTitle);
        EXPECT_FALSE(showsStop());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
        // Then a file that cannot be opened at all.
        std::filesystem::remove(path("Broken.pla"));
        std::filesystem::create_directory(path("Broken.pla"));
    }
    combo()->setCurrentIndex(combo()->findText("Good.pla"));
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(CLaunchPadDlgTest, AMissingPreferredOrRemovedPlayListIsReportedOnceInCapitals) {
    writeWaveList("Lobby.pla", {"one.wav"});
    settings.playDefaultPlayList = 1;
    settings.defaultPlayList = "Evening Music.pla";
    auto& dlg = open();
    // Removed since the list was filled: the same message, with the full path.
    combo()->setCurrentIndex(combo()->findText("Lobby.pla"));
    std::filesystem::remove(path("Lobby.pla"));
    QTest::mouseClick(button(CLaunchPadDlg::IDC_PLAY_STOP), Qt::LeftButton);
    const std::string removed = QString::fromStdString(path("Lobby.pla")).toUpper().toStdString();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    for (const auto& [box, shown] :
         {std::pair{boxes.boxes[0], "EVENING MUSIC.PLA"}, {boxes.boxes[1], removed.c_str()}}) {
        EXPECT_EQ(box.text,
                  std::string("Unable to find your preferred Play List file ") + shown + ".");
        EXPECT_EQ(box.type, MB_OK | MB_ICONSTOP);
    }
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(dlg.windowTitle(), kIdleTitle);
    EXPECT_TRUE(button(CLaunchPadDlg::IDC_EDITOR)->isEnabled());
}

TEST_F(CLaunchPadDlgTest, HelpShowsTheUserGuideInOneWindowThatClosesWithTheLaunchPad) {
    auto& dlg = open();
    QApplication::setActiveWindow(&dlg);
    QTest::keyClick(&dlg, Qt::Key_F1);
    HelpWindow* help = dlg.GetHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->Text().contains("Wave Files"));
    QTest::mouseClick(button(CLaunchPadDlg::ID_HELP), Qt::LeftButton);
    EXPECT_EQ(dlg.GetHelpWindow(), help) << "one help window";
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
