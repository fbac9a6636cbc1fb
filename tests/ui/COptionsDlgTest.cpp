#include "ui/COptionsDlg.h"

#include "tests/platform/registry/TextFiles.h"
#include "tests/support/RunCommand.h"
#include "tests/ui/LaunchPadFixture.h"
#include "ui/DialogControls.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace {

class COptionsDlgTest : public LaunchPadFixture {
protected:
    /// The dialog over the fixture's settings, shown (which initialises it).
    COptionsDlg& show() {
        options = std::make_unique<COptionsDlg>(context());
        options->show();
        return *options;
    }
    template <typename T = QWidget>
    T* item(int id) const {
        return GetDlgItemAs<T>(options.get(), id);
    }
    void click(int id) { QTest::mouseClick(item(id), Qt::LeftButton, {}, QPoint(4, 4)); }
    /// Clicks OK and reads the five values back as the Launch Pad would.
    AppSettings confirm() {
        click(COptionsDlg::IDOK_CLOSE);
        return {options->GetStartWithWindows(), options->GetSendToTaskbar(),
                options->GetPlayDefaultPlayList(), options->GetRecordingQuality(),
                options->GetDefaultPlayList()};
    }

    std::unique_ptr<COptionsDlg> options;
};

TEST_F(COptionsDlgTest, ChecksAndListFollowTheRules) {
    // Start at login off: send to taskbar disabled and unchecked, and so stored as 0.
    settings = {0, 1, 0, 7, ""};
    show();
    EXPECT_FALSE(item<QCheckBox>(1066)->isEnabled());
    EXPECT_FALSE(item<QCheckBox>(1066)->isChecked());
    EXPECT_TRUE(item<QRadioButton>(1062)->isChecked()) << "quality 7 shows Good";
    AppSettings out = confirm();
    EXPECT_EQ(out.sendToTaskbar, 0u);
    EXPECT_EQ(out.recordingQuality, 7u) << "untouched, 7 goes back as it came";

    // 1059 on, 1066 on, 1059 off: 1066 disabled but still checked.
    show();
    click(1059);
    EXPECT_TRUE(item(1066)->isEnabled());
    click(1066);
    click(1059);
    EXPECT_FALSE(item(1066)->isEnabled());
    EXPECT_TRUE(item<QCheckBox>(1066)->isChecked());
    click(1063);
    out = confirm();
    EXPECT_EQ(out.startWithWindows, 0u);
    EXPECT_EQ(out.sendToTaskbar, 1u);
    EXPECT_EQ(out.recordingQuality, 2u);

    // Play at start-up without a play list to play: stored as 0 and empty.
    show();
    click(1064);
    EXPECT_TRUE(item(1045)->isEnabled());
    out = confirm();
    EXPECT_EQ(out.playDefaultPlayList, 0u);
    EXPECT_EQ(out.defaultPlayList, "");

    // The box lists the play lists without regard to case and picks by the name's beginning.
    WriteFileBytes(path("b.pla"), {0});
    WriteFileBytes(path("Bar.PLA"), {0});
    WriteFileBytes(path("a.pla"), {0});
    settings = {1, 1, 1, 0, "BA"};
    show();
    const auto* box = item<QComboBox>(1045);
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0) + box->itemText(1) + box->itemText(2), "a.plab.plaBar.PLA");
    EXPECT_EQ(box->currentText(), "Bar.PLA");
    EXPECT_TRUE(item<QCheckBox>(1066)->isChecked());
    EXPECT_TRUE(item<QRadioButton>(1061)->isChecked());
    out = confirm();
    EXPECT_EQ(out.defaultPlayList, "Bar.PLA");
    EXPECT_EQ(out.playDefaultPlayList, 1u);

    // Unchecking play at start-up forgets the play list.
    show();
    click(1064);
    EXPECT_FALSE(item(1045)->isEnabled());
    out = confirm();
    EXPECT_EQ(out.playDefaultPlayList, 0u);
    EXPECT_EQ(out.defaultPlayList, "");

    // A preferred play list whose file is gone: nothing selected, and its name is kept.
    settings = {0, 0, 1, 1, "Gone.pla"};
    show();
    EXPECT_EQ(item<QComboBox>(1045)->currentIndex(), -1);
    out = confirm();
    EXPECT_EQ(out.defaultPlayList, "Gone.pla");
    EXPECT_EQ(out.playDefaultPlayList, 1u);
}

TEST_F(COptionsDlgTest, EveryControlHasANameAndTheTabOrderIsTheTemplates) {
    show();
    QWidget* first = item(1059);
    QWidget* at = first;
    std::vector<int> order;
    do {
        order.push_back(GetControlId(at));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(at);
        ASSERT_NE(accessible, nullptr);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << GetControlId(at);
        at = at->nextInFocusChain();
        while (GetControlId(at) == 0) {
            at = at->nextInFocusChain();
        }
    } while (at != first && order.size() < 20);
    EXPECT_EQ(order, (std::vector<int>{1059, 1064, 1045, 1061, 1062, 1063, 1, 2, 1066}));
    EXPECT_EQ(item(1)->accessibleName(), "Close this window");
    EXPECT_EQ(item(2)->toolTip(), "Cancel without saving any changes");
}

/// The Launch Pad with the real autostart entry, in a configuration folder of the test's own.
class LaunchPadOptionsTest : public COptionsDlgTest {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        DialogContext real = context();
        real.updateStartupShortcut = [this](const std::string& executable) {
            shortcutUpdates.push_back(executable);
            return UpdateStartupShortcut(settings.startWithWindows, dataFolder, executable);
        };
        dialog = std::make_unique<CLaunchPadDlg>(real);
        dialog->show();
    }
    void TearDown() override {
        ::unsetenv("XDG_CONFIG_HOME");
        COptionsDlgTest::TearDown();
    }
    /// Runs the Options dialog from the Launch Pad's button; act works the dialog and ends it.
    void runOptions(const std::function<void(COptionsDlg&)>& act) {
        QTimer::singleShot(0, [&act] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* dlg = qobject_cast<COptionsDlg*>(window); dlg && dlg->isVisible()) {
                    act(*dlg);
                    if (dlg->isVisible()) {
                        dlg->reject(); // act left it open
                    }
                }
            }
        });
        QTest::mouseClick(button(CLaunchPadDlg::IDC_OPTIONS), Qt::LeftButton);
    }
    static void clickIn(COptionsDlg& dlg, int id) {
        QTest::mouseClick(GetDlgItem(&dlg, id), Qt::LeftButton, {}, QPoint(4, 4));
    }
    std::string entry() const { return config.file("autostart/Quillon.desktop"); }

    TempDir config;
};

TEST_F(LaunchPadOptionsTest, OkAppliesAndSavesTheSettingsAndBringsTheEntryInLine) {
    writeWaveList("Lobby.pla", {"one.wav"});
    EXPECT_FALSE(button(CLaunchPadDlg::IDC_PLAY_STOP)->isEnabled()) << "listed after opening";
    runOptions([](COptionsDlg& dlg) {
        clickIn(dlg, 1059);
        clickIn(dlg, 1066);
        clickIn(dlg, 1064);
        GetDlgItemAs<QComboBox>(&dlg, 1045)->setCurrentIndex(0);
        clickIn(dlg, 1061);
        clickIn(dlg, 1);
    });
    EXPECT_EQ(settings.startWithWindows, 1u);
    EXPECT_EQ(settings.sendToTaskbar, 1u);
    EXPECT_EQ(settings.playDefaultPlayList, 1u);
    EXPECT_EQ(settings.recordingQuality, 0u);
    EXPECT_EQ(settings.defaultPlayList, "Lobby.pla");
    EXPECT_EQ(settingsSaved, 1);
    EXPECT_EQ(entries(), std::vector<std::string>{"Lobby.pla"}) << "the box is filled again";
    EXPECT_TRUE(button(CLaunchPadDlg::IDC_PLAY_STOP)->isEnabled());
    ASSERT_EQ(shortcutUpdates.size(), 1u);
    EXPECT_TRUE(std::filesystem::equivalent(shortcutUpdates[0], "/proc/self/exe"));
    const CommandResult valid = RunCommand("desktop-file-validate " + ShellQuote(entry()));
    EXPECT_EQ(valid.exitStatus, 0);
    EXPECT_EQ(valid.out + valid.err, "");
    EXPECT_NE(readText(entry()).find("\nPath=" + dataFolder + "\n"), std::string::npos);

    // Cancel after changes: neither the settings nor the entry are touched.
    runOptions([](COptionsDlg& dlg) {
        clickIn(dlg, 1059);
        clickIn(dlg, 1063);
        clickIn(dlg, 2);
    });
    EXPECT_EQ(settings.startWithWindows, 1u);
    EXPECT_EQ(settings.recordingQuality, 0u);
    EXPECT_EQ(settingsSaved, 1);
    EXPECT_EQ(shortcutUpdates.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(entry()));

    // Off and OK: the entry goes.
    runOptions([](COptionsDlg& dlg) {
        clickIn(dlg, 1059);
        clickIn(dlg, 1);
    });
    EXPECT_EQ(settings.startWithWindows, 0u);
    EXPECT_EQ(settings.sendToTaskbar, 1u) << "checked, though disabled";
    EXPECT_EQ(settingsSaved, 2);
    EXPECT_FALSE(std::filesystem::exists(entry()));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(LaunchPadOptionsTest, AReadOnlyEntryIsKeptAndNamedAndTheSettingsAreSavedAnyway) {
    std::filesystem::create_directories(config.file("autostart"));
    writeText(entry(), "[Desktop Entry]\nType=Application\nName=Mine\nExec=mine\n");
    ::chmod(entry().c_str(), 0444);
    for (int id : {1059, 1059}) { // on, then off again: neither may touch the user's file
        runOptions([id](COptionsDlg& dlg) {
            clickIn(dlg, id);
            clickIn(dlg, 1);
        });
    }
    EXPECT_EQ(settingsSaved, 2);
    EXPECT_EQ(settings.startWithWindows, 0u);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    for (const auto& box : boxes.boxes) {
        EXPECT_NE(box.text.find(entry()), std::string::npos) << box.text;
        EXPECT_EQ(box.type, MB_OK | MB_ICONSTOP);
    }
    EXPECT_EQ(readText(entry()), "[Desktop Entry]\nType=Application\nName=Mine\nExec=mine\n");
}

} // namespace
