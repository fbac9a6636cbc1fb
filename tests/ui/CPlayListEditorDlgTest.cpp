#include "ui/CPlayListEditorDlg.h"

#include "platform/mci/Mci.h"
#include "tests/ui/DialogFixture.h"
#include "ui/CAudioItemPropertiesDlg.h"
#include "ui/CLaunchPadDlg.h"
#include "ui/CPlayListCtrl.h"
#include "ui/DialogControls.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <filesystem>

namespace {

using Dlg = CPlayListEditorDlg;
using Rows = std::vector<std::string>;

class CPlayListEditorDlgTest : public DialogFixture {
protected:
    CPlayListEditorDlgTest() {
        std::filesystem::create_directory(path("midi FILES"));
        for (const char* name :
             {"midi FILES/b.MID", "midi FILES/a.rmi", "midi FILES/C.mid", "Wave Files/Zed.wav",
              "Wave Files/alpha.WAV", "Wave Files/tone.wav"}) {
            WriteFileBytes(path(name), {0});
        }
    }

    Dlg& open() { return *(editor = &DialogFixture::open<Dlg>()); }
    CPlayListCtrl* view() const { return editor->PlayListView(); }
    /// The available items with these texts, added with the Add button.
    void add(const std::vector<QString>& texts) {
        auto* available = editor->AvailableList();
        available->clearSelection();
        for (const QString& text : texts) {
            available->findItems(text, Qt::MatchExactly).at(0)->setSelected(true);
        }
        click(Dlg::IDC_ADD);
    }
    void select(int row) {
        view()->clearSelection();
        view()->topLevelItem(row)->setSelected(true);
    }
    void doubleClick(QTreeWidget* list, int row) {
        const QRect cell = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    /// The buttons in a line, each as its sign when enabled and '.' when not: Add +, Remove -,
    /// Up ^, Down v, Load L, Save S, Clear C, Audition A, Play item P.
    std::string enabled() const {
        const int ids[] = {Dlg::IDC_ADD,   Dlg::IDC_REMOVE,   Dlg::IDC_UP,
                           Dlg::IDC_DOWN,  Dlg::IDC_LOAD,     Dlg::IDC_SAVE,
                           Dlg::IDC_CLEAR, Dlg::IDC_AUDITION, Dlg::IDC_PLAY_ITEM};
        std::string line = "+-^vLSCAP";
        for (std::size_t i = 0; i < line.size(); ++i) {
            line[i] = control(ids[i])->isEnabled() ? line[i] : '.';
        }
        return line;
    }
    /// The texts of a list's rows; the play list's when none is named.
    Rows rows(const CAudioItemListCtrl* list = nullptr) const {
        list = list != nullptr ? list : view();
        Rows out;
        for (int row = 0; row < list->GetRowCount(); ++row) {
            out.push_back(list->GetRowText(row).toStdString());
        }
        return out;
    }
    /// The command that opened the device (waited for) and the device's id.
    std::pair<std::string, std::string> opened(const std::string& prefix = "open type=522") {
        const std::string command = mci.waitFor(prefix).value_or("");
        return {command, std::to_string(SharedRecordingMciPort::openedDevice(command))};
    }

    Dlg* editor = nullptr;
};

TEST_F(CPlayListEditorDlgTest, ListsWhatCanPlayInOrderAndSwitchesTheButtonGroups) {
    const Rows available = rows(open().AvailableList());
    ASSERT_EQ(available.size(), 18u) << "3 MIDI files, 3 wave files, 12 tracks";
    EXPECT_EQ(Rows(available.begin(), available.begin() + 7),
              (Rows{"b.MID", "C.mid", "a.rmi", "alpha.WAV", "tone.wav", "Zed.wav", "Track 1"}));
    EXPECT_EQ(available.back(), "Track 12");
    EXPECT_EQ(enabled(), "+...L....");

    // Up and Down need two rows.
    add({"tone.wav"});
    EXPECT_EQ(enabled(), "+-..LSCAP");
    add({"C.mid", "Track 3"});
    EXPECT_EQ(rows(), (Rows{"tone.wav", "C.mid", "Track 3"}));
    EXPECT_EQ(enabled(), "+-^vLSCAP");

    // A double-click add during an audition brings the order group back, but not Play item.
    open();
    add({"tone.wav"});
    click(Dlg::IDC_AUDITION);
    ASSERT_TRUE(player->IsPlaying());
    EXPECT_EQ(enabled(), "+......A.");
    doubleClick(editor->AvailableList(), 0);
    EXPECT_EQ(rows(), (Rows{"tone.wav", "b.MID"}));
    EXPECT_EQ(enabled(), "+-^v.SCA.");
}

TEST_F(CPlayListEditorDlgTest, RowsMoveWithTheirPartsAndModifiedFollowsTheResult) {
    auto& dlg = open();
    add({"C.mid", "tone.wav", "Track 2"});
    view()->SetRowVolume(1, 30);
    view()->SetRowLoopText(1, "4");
    select(1);
    click(Dlg::IDC_UP);
    EXPECT_EQ(rows(), (Rows{"tone.wav", "C.mid", "Track 2"}));
    EXPECT_EQ(view()->GetRowVolume(0), 30);
    EXPECT_EQ(view()->GetRowLoopCount(0), 4);
    EXPECT_EQ(view()->GetRowImage(0), CAudioItemListCtrl::imageWave);
    EXPECT_EQ(view()->GetFirstSelectedRow(), -1) << "no row is selected after a move";
    EXPECT_TRUE(dlg.IsModified());
    click(Dlg::IDC_UP);
    EXPECT_FALSE(dlg.IsModified()) << "nothing selected: false";

    // At the ends: Down on the last row reports true, Up on the first false.
    for (const auto& [row, id, modified] :
         {std::tuple{2, +Dlg::IDC_DOWN, true}, {0, +Dlg::IDC_UP, false}}) {
        select(row);
        click(id);
        EXPECT_EQ(dlg.IsModified(), modified) << row;
        EXPECT_EQ(rows(), (Rows{"tone.wav", "C.mid", "Track 2"}));
    }

    // The loop count is read as strtol reads it, held to 32 bits ...
    for (const auto& [text, count] :
         std::vector<std::pair<QString, LONG>>{{"12abc", 12},
                                               {"abc", 0},
                                               {" -1", -1},
                                               {"99999999999", INT32_MAX},
                                               {"-99999999999", INT32_MIN}}) {
        view()->SetRowLoopText(2, text);
        EXPECT_EQ(view()->GetRowLoopCount(2), count) << text.toStdString();
    }
    // ... and edited in a dialog of its own: letters are refused, the down arrow
    // key raises the number, Apply then Close keeps what was applied.
    QTimer::singleShot(0, [] {
        auto* properties =
            qobject_cast<CAudioItemPropertiesDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(properties, nullptr);
        auto* edit = GetDlgItemAs<QLineEdit>(properties, CAudioItemPropertiesDlg::IDC_LOOP_COUNT);
        QTest::keyClicks(edit, "abc");
        QTest::keyClick(edit, Qt::Key_Down);
        QTest::mouseClick(GetDlgItem(properties, CAudioItemPropertiesDlg::IDC_APPLY),
                          Qt::LeftButton);
        QTest::keyClicks(edit, "7");
        properties->reject();
    });
    doubleClick(view(), 0);
    EXPECT_EQ(view()->GetRowLoopCount(0), 5);
    click(Dlg::IDC_OK);
    EXPECT_TRUE(boxes.boxes.empty()) << "OK closes without asking";
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(notifyWindow.load(), nullptr) << "the notices go back";
}

TEST_F(CPlayListEditorDlgTest, SavesWhatCanPlayUnderATypedNameAndLoadsAskingFirst) {
    cdDevice.reset();
    auto& dlg = open();
    view()->AddRow(0, "Track 2", 1, 50, 103); // a CD row, though no CD player is ready
    add({"tone.wav"});
    add({"C.mid"});
    view()->SetRowLoopText(1, "-1");

    // A folder that is not there: reported, and the editor keeps the list for another try.
    files.answer = QString::fromStdString(path("gone/house"));
    boxes.answer = IDYES;
    click(Dlg::IDC_OK);
    ASSERT_EQ(boxes.boxes.size(), 2u) << "save? then the failure";
    EXPECT_EQ(boxes.boxes[1].type, MB_OK | MB_ICONSTOP);
    EXPECT_NE(boxes.boxes[1].text.find(path("gone/house.pla")), std::string::npos);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.IsModified());

    files.answer = QString::fromStdString(path("house"));
    click(Dlg::IDC_SAVE);
    EXPECT_FALSE(dlg.IsModified()); // what it wrote is loaded back below

    // The audition leaves it out too: the wave player is the first asked.
    mci.take();
    click(Dlg::IDC_AUDITION);
    EXPECT_NE(opened("open ").first.find("type=522"), std::string::npos);
    click(Dlg::IDC_AUDITION);

    // Loading asks first; No leaves the list, Yes and a cancelled file dialog empty it.
    const std::size_t asked = boxes.boxes.size();
    for (const int answer : {IDNO, IDYES}) {
        boxes.answer = answer;
        files.answer.reset();
        click(Dlg::IDC_LOAD);
        EXPECT_EQ(boxes.boxes.back().type, MB_YESNO | MB_ICONQUESTION);
        EXPECT_EQ(rows().size(), answer == IDNO ? 3u : 0u);
    }
    EXPECT_EQ(boxes.boxes.size(), asked + 2);

    // Copied elsewhere: the title names where it was saved; the CD row was left out; a loaded
    // list counts as modified.
    std::filesystem::copy_file(path("house.pla"), path("Copy.pla"));
    files.answer = QString::fromStdString(path("Copy.pla"));
    click(Dlg::IDC_LOAD);
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Quillon Playlist Controls - " + path("house.pla"));
    EXPECT_EQ(rows(), (Rows{"tone.wav", "C.mid"}));
    EXPECT_EQ(view()->GetRowLoopCount(0), -1);
    EXPECT_EQ(enabled(), "+-^vLSCAP");
    EXPECT_TRUE(dlg.IsModified());

    // Cut inside the second record: the first is shown, and the message says so.
    std::filesystem::resize_file(path("Copy.pla"),
                                 std::filesystem::file_size(path("Copy.pla")) - 6);
    click(Dlg::IDC_LOAD);
    const std::string& damage = boxes.boxes.back().text;
    EXPECT_EQ(boxes.boxes.back().type, MB_OK | MB_ICONSTOP);
    EXPECT_NE(damage.find(path("Copy.pla")), std::string::npos) << damage;
    EXPECT_NE(damage.find("The 1 audio item read before the damage"), std::string::npos) << damage;
    EXPECT_EQ(rows(), Rows{"tone.wav"});
}

TEST_F(CPlayListEditorDlgTest, ARowEndsByItsNoticeAndClosingStopsTheSound) {
    open();
    add({"tone.wav", "C.mid"});
    select(1); // tone.wav, after the MIDI file
    click(Dlg::IDC_PLAY_ITEM);
    EXPECT_EQ(enabled(), "..^v....P");
    const std::string device = opened().second;
    editor->GetNotifyWindow()->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, std::stoul(device));
    ASSERT_TRUE(WaitUntil([this] { return !editor->IsItemPlaying(); }));
    EXPECT_EQ(enabled(), "+-^vLSCAP");
    EXPECT_TRUE(mci.waitFor("close " + device));

    // Closing during a single row, and during an audition, stops the sound.
    for (const int id : {+Dlg::IDC_PLAY_ITEM, +Dlg::IDC_AUDITION}) {
        open();
        add({"tone.wav"});
        select(0);
        click(id);
        const std::string playing = opened().second;
        editor->reject();
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_TRUE(mci.waitFor("close " + playing)) << id;
    }
}

TEST_F(CPlayListEditorDlgTest, SlidersStayOverTheirRowsAfterWheelAndKeyboardScrolling) {
    open();
    for (int row = 0; row < 40; ++row) {
        view()->AddRow(row, QStringLiteral("row %1.wav").arg(row), 1, row, 102);
    }
    auto expectSlidersOverRows = [this](const char* after) {
        QCoreApplication::processEvents();
        int checked = 0;
        for (int row = 0; row < view()->GetRowCount(); ++row) {
            const QRect cell = view()->visualRect(view()->model()->index(row, 1));
            if (view()->viewport()->rect().contains(cell)) {
                ++checked;
                EXPECT_TRUE(cell.contains(view()->GetRowSlider(row)->geometry().center()))
                    << after << " row " << row;
            }
        }
        EXPECT_GT(checked, 5) << after;
    };
    QScrollBar* bar = view()->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum()) << "the last row added was scrolled into view";
    expectSlidersOverRows("adding");
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_LT(bar->value(), bar->maximum());
    expectSlidersOverRows("a page up");
    QWheelEvent wheel(QPointF(20, 20), view()->viewport()->mapToGlobal(QPointF(20, 20)), {},
                      QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const int beforeWheel = bar->value();
    QApplication::sendEvent(view()->viewport(), &wheel);
    EXPECT_LT(bar->value(), beforeWheel);
    expectSlidersOverRows("the wheel");
    view()->setCurrentItem(view()->topLevelItem(30));
    QTest::keyClick(view(), Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    expectSlidersOverRows("Home");
}

// The row is found from the slider, not from where the mouse is.
TEST_F(CPlayListEditorDlgTest, AKeyboardMovedSliderSetsItsOwnRowsFader) {
    open();
    add({"C.mid", "tone.wav"});
    const DWORD synth = faders.synthFader.ReadVolume();
    QTest::keyClick(view()->GetRowSlider(1), Qt::Key_End);
    EXPECT_EQ(faders.waveFader.ReadVolume(), 100u);
    EXPECT_EQ(faders.synthFader.ReadVolume(), synth);
    view()->topLevelItem(1)->setSelected(true);
    click(Dlg::IDC_UP); // the wave row's slider is now the first
    QTest::keyClick(view()->GetRowSlider(0), Qt::Key_Home);
    EXPECT_EQ(faders.waveFader.ReadVolume(), 0u);
    EXPECT_EQ(faders.synthFader.ReadVolume(), synth);
}

TEST_F(CPlayListEditorDlgTest, FromTheLaunchPadItTakesTheNoticesWhileOpenAndItsNewListIsOffered) {
    writeWaveList("B.pla", {"one.wav"});
    auto& launchPad = DialogFixture::open<CLaunchPadDlg>();
    bool noticesToEditor = false;
    QTimer::singleShot(0, [this, &noticesToEditor] {
        auto* editor = qobject_cast<CPlayListEditorDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(editor, nullptr);
        noticesToEditor = notifyWindow.load() == editor->GetNotifyWindow();
        WritePlayListFile(path("A new.pla"), {});
        editor->reject();
    });
    click(CLaunchPadDlg::IDC_EDITOR);
    EXPECT_TRUE(noticesToEditor);
    EXPECT_EQ(notifyWindow.load(), launchPad.GetNotifyWindow());
    EXPECT_EQ(entries(), (Rows{"A new.pla", "B.pla"}));
    EXPECT_EQ(control<QComboBox>(CLaunchPadDlg::IDC_PLAYLIST_COMBO)->currentText(), "B.pla")
        << "the entry selected before stays selected";
}

} // namespace
