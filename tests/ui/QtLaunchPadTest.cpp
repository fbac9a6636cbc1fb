// The Launch Pad as start-up runs it, ended as the end of the session ends it: whatever is
// open above it goes first, top down.

#include "ui/QtLaunchPad.h"

#include "model/MoxPlayListPlayer.h"
#include "tests/ui/DialogFixture.h"
#include "ui/CLaunchPadDlg.h"
#include "ui/QtMessageBoxHandler.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace {

using QtLaunchPadTest = DialogFixture;

TEST_F(QtLaunchPadTest, EndingRejectsTheDialogsFromTheTopEachAfterTheOneAboveReturned) {
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
