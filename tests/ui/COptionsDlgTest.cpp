#include "ui/COptionsDlg.h"

#include "model/MoxPlayListPlayer.h"
#include "tests/ui/DialogFixture.h"
#include "ui/CLaunchPadDlg.h"

#include <QApplication>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <tuple>

namespace {

using O = COptionsDlg;

auto fields(const AppSettings& s) {
    return std::tuple(s.startWithWindows, s.sendToTaskbar, s.playDefaultPlayList,
                      s.recordingQuality, s.defaultPlayList);
}

void clickIn(COptionsDlg& dlg, int id) {
    QTest::mouseClick(GetDlgItem(&dlg, id), Qt::LeftButton, {}, QPoint(4, 4));
}

using COptionsDlgTest = DialogFixture;

TEST_F(COptionsDlgTest, ChecksAndListFollowTheRules) {
    WriteFileBytes(path("b.pla"), {0});
    WriteFileBytes(path("Bar.PLA"), {0});
    WriteFileBytes(path("a.pla"), {0});
    struct Case {
        AppSettings in;
        std::vector<int> clicks;
        /// Send to taskbar and the play list box: x enabled, . not; the quality checked.
        std::string look;
        AppSettings out;
    };
    const Case cases[] = {
        // Start at login off: send to taskbar disabled and unchecked, so stored as 0; an
        // untouched quality of 7, shown as Good, goes back as it came.
        {{0, 1, 0, 7, ""}, {}, "..G", {0, 0, 0, 7, ""}},
        // Start at login on, send to taskbar on, start at login off: still checked.
        {{0, 0, 0, 1, ""},
         {O::IDC_START_WITH_WINDOWS, O::IDC_SEND_TO_TASKBAR, O::IDC_START_WITH_WINDOWS,
          O::IDC_QUALITY_BEST},
         "..B",
         {0, 1, 0, 2, ""}},
        // Play at start-up without a play list to play: stored as 0 and empty.
        {{0, 0, 0, 1, ""}, {O::IDC_PLAY_AT_STARTUP}, ".xG", {0, 0, 0, 1, ""}},
        // The list is picked by the beginning of the name, without regard to case ...
        {{1, 1, 1, 0, "BA"}, {}, "xxA", {1, 1, 1, 0, "Bar.PLA"}},
        // ... and forgotten when play at start-up is unchecked.
        {{1, 1, 1, 0, "BA"}, {O::IDC_PLAY_AT_STARTUP}, "x.A", {1, 1, 0, 0, ""}},
        // A preferred play list whose file is gone: nothing selected, and its name is kept.
        {{0, 0, 1, 1, "Gone.pla"}, {}, ".xG", {0, 0, 1, 1, "Gone.pla"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.look);
        settings = c.in;
        COptionsDlg dlg(context());
        dlg.show();
        for (const int id : c.clicks) {
            clickIn(dlg, id);
        }
        std::string look;
        for (const int id : {+O::IDC_SEND_TO_TASKBAR, +O::IDC_PLAYLIST_COMBO}) {
            look += GetDlgItem(&dlg, id)->isEnabled() ? 'x' : '.';
        }
        for (const auto& [id, letter] : {std::pair{+O::IDC_QUALITY_AVERAGE, 'A'},
                                         {O::IDC_QUALITY_GOOD, 'G'},
                                         {O::IDC_QUALITY_BEST, 'B'}}) {
            look += GetDlgItemAs<QRadioButton>(&dlg, id)->isChecked() ? std::string(1, letter) : "";
        }
        EXPECT_EQ(look, c.look);
        clickIn(dlg, O::IDOK_CLOSE);
        EXPECT_EQ(
            fields({dlg.GetStartWithWindows(), dlg.GetSendToTaskbar(), dlg.GetPlayDefaultPlayList(),
                    dlg.GetRecordingQuality(), dlg.GetDefaultPlayList()}),
            fields(c.out));
    }
}

TEST_F(COptionsDlgTest, OkAppliesSavesAndBringsTheEntryInLineAndCancelTouchesNothing) {
    open<CLaunchPadDlg>();
    writeWaveList("Lobby.pla", {"one.wav"});
    // Runs the Options dialog from the Launch Pad's button, clicks these and ends it.
    const auto runOptions = [this](const std::vector<int>& clicks) {
        QTimer::singleShot(0, [&clicks] {
            auto* dlg = qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            for (const int id : clicks) {
                clickIn(*dlg, id);
            }
        });
        click(CLaunchPadDlg::IDC_OPTIONS);
    };
    settings.defaultPlayList = "lobby"; // the list box shows the entry it begins
    runOptions({O::IDC_START_WITH_WINDOWS, O::IDC_SEND_TO_TASKBAR, O::IDC_PLAY_AT_STARTUP,
                O::IDC_QUALITY_AVERAGE, O::IDOK_CLOSE});
    EXPECT_EQ(fields(settings), fields({1, 1, 1, 0, "Lobby.pla"}));
    EXPECT_EQ(settingsSaved, 1);
    EXPECT_EQ(entries(), std::vector<std::string>{"Lobby.pla"}) << "the box is filled again";
    ASSERT_EQ(shortcutUpdates.size(), 1u);
    EXPECT_TRUE(std::filesystem::equivalent(shortcutUpdates[0], "/proc/self/exe"));

    // Cancel after changes: neither the settings nor the entry are touched.
    runOptions({O::IDC_START_WITH_WINDOWS, O::IDC_QUALITY_BEST, O::IDCANCEL_OPTIONS});
    EXPECT_EQ(fields(settings), fields({1, 1, 1, 0, "Lobby.pla"}));
    EXPECT_EQ(settingsSaved, 1);
    EXPECT_EQ(shortcutUpdates.size(), 1u);

    // OK while a list plays: it plays on untouched. An entry that could not be brought in
    // line is told, once the settings are saved.
    click(CLaunchPadDlg::IDC_PLAY_STOP);
    ASSERT_TRUE(mci.waitFor("play "));
    shortcutResult = {StartupShortcutResult::cannotRemove, "/home/x/Quillon.desktop"};
    runOptions({O::IDC_START_WITH_WINDOWS, O::IDOK_CLOSE});
    EXPECT_EQ(fields(settings), fields({0, 1, 1, 0, "Lobby.pla"})) << "checked, though disabled";
    EXPECT_EQ(settingsSaved, 2);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_TRUE(mci.take().empty()) << "neither stopped nor started again";
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("/home/x/Quillon.desktop"), std::string::npos);
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONSTOP);
}

} // namespace
