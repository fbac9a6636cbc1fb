// Start-up and shutdown of the program through the real Launch Pad: settings read from the
// store, the Launch Pad run modally until the user (or the end of the session) ends it, the
// settings written back.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/registry/RegistryStore.h"
#include "tests/ui/LaunchPadFixture.h"
#include "ui/CLaunchPadDlg.h"
#include "ui/DialogControls.h"
#include "ui/QtLaunchPad.h"
#include "ui/QtMessageBoxHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

namespace {

class LaunchPadStartupTest : public LaunchPadFixture {
protected:
    // Start-up reads and writes the program's own settings and data folder.
    void SetUp() override {
        g_szCurrentDir.clear();
        g_settings = AppSettings{};
        m_previousDir = std::filesystem::current_path();
        std::filesystem::current_path(data.path());
    }
    void TearDown() override {
        std::filesystem::current_path(m_previousDir);
        LaunchPadFixture::TearDown();
        g_szCurrentDir.clear();
        g_settings = AppSettings{};
    }

    void storeSettings(const AppSettings& values) {
        RegistryStore store(storePath);
        CQuillonApp app(&store);
        ASSERT_EQ(app.LoadSettings(), 0); // a first run makes the key
        g_settings = values;
        ASSERT_EQ(app.SaveSettings(), 0);
        g_settings = AppSettings{};
    }

    /// Runs start-up; while the Launch Pad runs, duringRun gets it.
    bool run(const std::function<void(CLaunchPadDlg&)>& duringRun) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<CLaunchPadDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr) << "the Launch Pad runs modally";
            ran = true;
            duringRun(*dlg);
        });
        RegistryStore store(storePath);
        CQuillonApp app(&store);
        DialogContext launchPadContext = context();
        launchPadContext.dataFolder = &g_szCurrentDir;
        launchPadContext.settings = &g_settings;
        launchPadContext.faders = &g_mixerFaders;
        QtLaunchPad launchPad(launchPadContext);
        EXPECT_FALSE(app.InitInstance(launchPad));
        EXPECT_EQ(launchPad.Dialog(), nullptr) << "destroyed at the end of start-up";
        return ran;
    }

    std::string storePath = data.file(".config/quillon/registry.reg");

private:
    std::filesystem::path m_previousDir;
};

TEST_F(LaunchPadStartupTest, ThePreferredPlayListPlaysUntilTheLaunchPadClosesMinimised) {
    writeWaveList("Lobby.pla", {"one.wav"});
    writeWaveList("Another.pla", {"two.wav"});
    storeSettings({0, 1, 1, 1, "lobby.PLA"}); // as stored; the file's name differs in case
    ASSERT_TRUE(run([this](CLaunchPadDlg& dlg) {
        EXPECT_TRUE(dlg.isMinimized());
        EXPECT_TRUE(dlg.IsPlaying());
        EXPECT_EQ(dlg.windowTitle(), "Playing: lobby.PLA");
        EXPECT_EQ(GetDlgItemAs<QComboBox>(&dlg, CLaunchPadDlg::IDC_PLAYLIST_COMBO)->currentText(),
                  "Lobby.pla");
        const auto opened = mci.waitFor("open type=522");
        ASSERT_TRUE(opened.has_value());
        EXPECT_NE(opened->find("one.wav"), std::string::npos) << *opened;
        EXPECT_TRUE(mci.waitFor("play "));
        dlg.close();
        EXPECT_FALSE(player->IsPlaying()) << "stopped as the window goes";
    }));
    EXPECT_EQ(g_strDefaultPlayList, "lobby.PLA") << "as it was";
    EXPECT_TRUE(boxes.boxes.empty());
}

// The end of the session asks for it, whatever is open above the Launch Pad.
TEST_F(LaunchPadStartupTest, EndingRejectsTheDialogsFromTheTopEachAfterTheOneAboveReturned) {
    writeWaveList("Lobby.pla", {"one.wav"});
    settings.playDefaultPlayList = 1;
    settings.defaultPlayList = "Lobby.pla";
    QtLaunchPad launchPad(context());
    std::vector<std::string> log;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(launchPad.Dialog()->IsPlaying());
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
}

} // namespace
