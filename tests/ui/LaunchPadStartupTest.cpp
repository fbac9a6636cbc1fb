// Start-up and shutdown of the program through the real Launch Pad: settings read from the
// store, the Launch Pad run modally until the user ends it, the settings written back.

#include "app/CQuillonApp.h"
#include "app/Globals.h"
#include "mixer/MixerGlobals.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/registry/RegistryStore.h"
#include "tests/ui/LaunchPadFixture.h"
#include "ui/CLaunchPadDlg.h"
#include "ui/DialogControls.h"
#include "ui/QtLaunchPad.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

namespace {

class LaunchPadStartupTest : public LaunchPadFixture {
protected:
    void SetUp() override {
        resetGlobals();
        m_previousDir = std::filesystem::current_path();
        std::filesystem::current_path(data.path());
    }
    void TearDown() override {
        std::filesystem::current_path(m_previousDir);
        LaunchPadFixture::TearDown();
        resetGlobals();
    }

    // Start-up reads and writes the program's own settings and data folder.
    static void resetGlobals() {
        g_szCurrentDir.clear();
        g_settings = AppSettings{};
    }

    void storeSettings(DWORD sendToTaskbar, DWORD playAtStart, const std::string& preferred) {
        RegistryStore store(storePath);
        CQuillonApp app(&store);
        ASSERT_EQ(app.LoadSettings(), 0);
        g_bSendToTaskbar = sendToTaskbar;
        g_bPlayDefaultPlayList = playAtStart;
        g_strDefaultPlayList = preferred;
        ASSERT_EQ(app.SaveSettings(), 0);
        resetGlobals();
    }

    DWORD storedQuality() {
        const DWORD running = g_nRecordingQuality;
        RegistryStore store(storePath);
        CQuillonApp(&store).LoadSettings();
        const DWORD stored = g_nRecordingQuality;
        g_nRecordingQuality = running;
        return stored;
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

TEST_F(LaunchPadStartupTest, EscWindowCloseAndExitAllSaveTheSettings) {
    storeSettings(0, 0, "");
    const std::vector<std::pair<const char*, std::function<void(CLaunchPadDlg&)>>> ways = {
        {"Esc", [](CLaunchPadDlg& dlg) { QTest::keyClick(&dlg, Qt::Key_Escape); }},
        {"exit button",
         [](CLaunchPadDlg& dlg) {
             QTest::mouseClick(GetDlgItemAs<QPushButton>(&dlg, CLaunchPadDlg::IDOK_EXIT),
                               Qt::LeftButton);
         }},
        {"window close", [](CLaunchPadDlg& dlg) { dlg.close(); }},
    };
    DWORD quality = 0;
    for (const auto& [name, end] : ways) {
        quality = (quality + 1) % 3;
        const DWORD chosen = quality;
        ASSERT_TRUE(run([&end, chosen](CLaunchPadDlg& dlg) {
            g_nRecordingQuality = chosen; // as the recorder would change it
            end(dlg);
        })) << name;
        EXPECT_EQ(storedQuality(), chosen) << name;
        EXPECT_EQ(notifyWindow.load(), nullptr) << name;
    }
}

TEST_F(LaunchPadStartupTest, ThePreferredPlayListPlaysUntilTheLaunchPadClosesMinimised) {
    writeWaveList("Lobby.pla", {"one.wav"});
    writeWaveList("Another.pla", {"two.wav"});
    storeSettings(1, 1, "lobby.PLA"); // as stored; the file's name differs in case
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
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(g_strDefaultPlayList, "lobby.PLA");
    EXPECT_TRUE(boxes.boxes.empty());
}

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
}

} // namespace
