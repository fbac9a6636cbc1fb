#include "ui/CPlayListEditorDlg.h"

#include "platform/mci/Mci.h"
#include "tests/ui/LaunchPadFixture.h"
#include "tools/pla/InertDevice.h"
#include "tools/pla/PlayListJson.h"
#include "ui/CAudioItemPropertiesDlg.h"
#include "ui/CPlayListCtrl.h"
#include "ui/DialogControls.h"
#include "ui/FileDialog.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <filesystem>
#include <set>

namespace {

using Dlg = CPlayListEditorDlg;
using Ids = std::set<int>;

/// Answers the file dialogs with the next path, or as cancelled.
struct FileAnswers final : FileDialogHandler {
    FileAnswers() { InstallFileDialogHandler(this); }
    ~FileAnswers() override { InstallFileDialogHandler(nullptr); }
    std::optional<QString> Run(QWidget*, const FileDialogRequest& request) override {
        last = request;
        ++asked;
        return next;
    }
    std::optional<QString> next;
    FileDialogRequest last;
    int asked = 0;
};

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

    Dlg& open(const DialogContext& with) {
        editor = std::make_unique<Dlg>(with);
        editor->show();
        return *editor;
    }
    Dlg& open() { return open(context()); }
    QPushButton* button(int id) const { return GetDlgItemAs<QPushButton>(editor.get(), id); }
    CPlayListCtrl* view() const { return editor->PlayListView(); }
    void click(int id) { QTest::mouseClick(button(id), Qt::LeftButton); }
    /// The available items with these texts, added with the Add button.
    void add(const std::vector<QString>& texts) {
        auto* available = editor->AvailableList();
        available->clearSelection();
        for (const QString& text : texts) {
            available->findItems(text, Qt::MatchExactly).at(0)->setSelected(true);
        }
        click(Dlg::IDC_ADD);
    }
    void doubleClick(QTreeWidget* list, int row) {
        const QRect cell = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    Ids enabled() const {
        Ids ids;
        for (const int id :
             {Dlg::IDC_ADD, Dlg::IDC_REMOVE, Dlg::IDC_UP, Dlg::IDC_DOWN, Dlg::IDC_LOAD,
              Dlg::IDC_SAVE, Dlg::IDC_CLEAR, Dlg::IDC_AUDITION, Dlg::IDC_PLAY_ITEM}) {
            if (button(id)->isEnabled()) {
                ids.insert(id);
            }
        }
        return ids;
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (int row = 0; row < view()->GetRowCount(); ++row) {
            out.push_back(view()->GetRowText(row).toStdString());
        }
        return out;
    }

    FileAnswers files;
    std::unique_ptr<Dlg> editor;
};

const Ids kItemGroupAndMore = {Dlg::IDC_ADD,   Dlg::IDC_LOAD,     Dlg::IDC_REMOVE,   Dlg::IDC_SAVE,
                               Dlg::IDC_CLEAR, Dlg::IDC_AUDITION, Dlg::IDC_PLAY_ITEM};
const Ids kEverything = {Dlg::IDC_ADD,   Dlg::IDC_REMOVE,   Dlg::IDC_UP,
                         Dlg::IDC_DOWN,  Dlg::IDC_LOAD,     Dlg::IDC_SAVE,
                         Dlg::IDC_CLEAR, Dlg::IDC_AUDITION, Dlg::IDC_PLAY_ITEM};

TEST_F(CPlayListEditorDlgTest, ListsWhatCanPlayInOrderAndSwitchesTheButtonGroups) {
    auto& dlg = open();
    EXPECT_EQ(dlg.windowTitle(), "Quillon Playlist Controls");
    std::vector<QString> available;
    for (int row = 0; row < dlg.AvailableList()->GetRowCount(); ++row) {
        available.push_back(dlg.AvailableList()->GetRowText(row));
    }
    ASSERT_EQ(available.size(), 18u) << "3 MIDI files, 3 wave files, 12 tracks";
    EXPECT_EQ(std::vector<QString>(available.begin(), available.begin() + 7),
              (std::vector<QString>{"b.MID", "C.mid", "a.rmi", "alpha.WAV", "tone.wav", "Zed.wav",
                                    "Track 1"}));
    EXPECT_EQ(available.back(), "Track 12");
    EXPECT_EQ(enabled(), (Ids{Dlg::IDC_ADD, Dlg::IDC_LOAD}));

    // The groups follow the rows each Add adds: one, two, three at once.
    const std::vector<std::pair<std::vector<QString>, Ids>> cases = {
        {{"tone.wav"}, kItemGroupAndMore},
        {{"tone.wav", "C.mid"}, kEverything},
        {{"tone.wav", "C.mid", "Track 3"}, kEverything},
    };
    for (const auto& [texts, expected] : cases) {
        open();
        add(texts);
        EXPECT_EQ(enabled(), expected) << texts.size();
        EXPECT_EQ(view()->GetRowCount(), static_cast<int>(texts.size()));
    }
    add({"Zed.wav"}); // one more to a list with rows: the item group again, nothing more
    EXPECT_EQ(enabled(), kEverything);

    // A double-click add during an audition brings the order group back, but not Play item.
    open();
    add({"tone.wav"});
    click(Dlg::IDC_AUDITION);
    ASSERT_TRUE(player->IsPlaying());
    EXPECT_EQ(enabled(), (Ids{Dlg::IDC_ADD, Dlg::IDC_AUDITION}));
    EXPECT_EQ(button(Dlg::IDC_AUDITION)->toolTip(), "Stop playing this Play List");
    doubleClick(editor->AvailableList(), 0);
    EXPECT_EQ(rows(), (std::vector<std::string>{"tone.wav", "b.MID"}));
    EXPECT_EQ(enabled(), (Ids{Dlg::IDC_ADD, Dlg::IDC_REMOVE, Dlg::IDC_UP, Dlg::IDC_DOWN,
                              Dlg::IDC_SAVE, Dlg::IDC_CLEAR, Dlg::IDC_AUDITION}));
}

TEST_F(CPlayListEditorDlgTest, MovingRowsKeepsTheirPartsTogetherAndSetsModifiedByTheResult) {
    auto& dlg = open();
    add({"b.MID", "tone.wav", "Track 2"});
    view()->SetRowVolume(1, 30);
    view()->SetRowLoopText(1, "4");
    view()->topLevelItem(1)->setSelected(true);
    click(Dlg::IDC_UP);
    EXPECT_EQ(rows(), (std::vector<std::string>{"tone.wav", "b.MID", "Track 2"}));
    EXPECT_EQ(view()->GetRowVolume(0), 30);
    EXPECT_EQ(view()->GetRowLoopCount(0), 4);
    EXPECT_EQ(view()->GetRowImage(0), CAudioItemListCtrl::imageWave);
    EXPECT_EQ(view()->GetRowSlider(0)->accessibleName(), "Volume of tone.wav");
    EXPECT_EQ(view()->GetFirstSelectedRow(), -1) << "no row is selected after a move";
    EXPECT_TRUE(dlg.IsModified());
    click(Dlg::IDC_UP);
    EXPECT_FALSE(dlg.IsModified()) << "nothing selected: false";

    view()->topLevelItem(2)->setSelected(true);
    click(Dlg::IDC_DOWN);
    EXPECT_TRUE(dlg.IsModified()) << "Down on the last row reports true";
    EXPECT_EQ(rows(), (std::vector<std::string>{"tone.wav", "b.MID", "Track 2"}));
    view()->topLevelItem(2)->setSelected(false);
    view()->topLevelItem(0)->setSelected(true);
    click(Dlg::IDC_UP);
    EXPECT_FALSE(dlg.IsModified()) << "Up on the first row reports false";
    click(Dlg::IDC_OK);
    EXPECT_TRUE(boxes.boxes.empty()) << "OK closes without asking";
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(notifyWindow.load(), nullptr) << "the notices go back";
}

TEST_F(CPlayListEditorDlgTest, LoadAsksFirstShowsTheStoredPathAndReportsDamage) {
    auto& dlg = open();
    add({"tone.wav"});
    boxes.answer = IDNO;
    click(Dlg::IDC_LOAD);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Clear the current playlist: are you sure?");
    EXPECT_EQ(boxes.boxes[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(rows(), std::vector<std::string>{"tone.wav"});
    EXPECT_EQ(files.asked, 0);

    boxes.answer = IDYES;
    click(Dlg::IDC_LOAD); // and the file dialog is cancelled
    EXPECT_EQ(files.asked, 1);
    EXPECT_EQ(files.last.filter, "Quillon Playlist files (*.pla)");
    EXPECT_TRUE(rows().empty());

    // Saved elsewhere and copied here: the title names where it was saved.
    WritePlayListFile(path("Saved.pla"), {{102, "tone.wav", 2, 40}, {101, "C.mid", 1, 70}});
    std::filesystem::copy_file(path("Saved.pla"), path("Copy.pla"));
    files.next = QString::fromStdString(path("Copy.pla"));
    click(Dlg::IDC_LOAD);
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Quillon Playlist Controls - " + path("Saved.pla"));
    EXPECT_EQ(rows(), (std::vector<std::string>{"tone.wav", "C.mid"}));
    EXPECT_EQ(view()->GetRowLoopCount(0), 2);
    EXPECT_EQ(view()->GetRowVolume(0), 40);
    EXPECT_EQ(enabled(), kEverything);
    EXPECT_TRUE(dlg.IsModified()) << "a loaded list counts as modified";

    // Cut inside the second record: the first is shown, and the message says so.
    const auto size = std::filesystem::file_size(path("Copy.pla"));
    std::filesystem::resize_file(path("Copy.pla"), size - 6);
    click(Dlg::IDC_LOAD);
    ASSERT_EQ(boxes.boxes.size(), 4u) << "asked again, then told";
    const std::string& damage = boxes.boxes[3].text;
    EXPECT_EQ(boxes.boxes[3].type, MB_OK | MB_ICONSTOP);
    EXPECT_NE(damage.find(path("Copy.pla")), std::string::npos) << damage;
    EXPECT_NE(damage.find("The 1 audio item read before the damage"), std::string::npos) << damage;
    EXPECT_EQ(rows(), std::vector<std::string>{"tone.wav"});
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(CPlayListEditorDlgTest, SavesUnderATypedNameLeavingOutRowsThatCannotPlay) {
    DialogContext noCd = context();
    noCd.cdDevice = nullptr;
    auto& dlg = open(noCd);
    view()->AddRow(0, "Track 2", 1, 50, 103); // a CD row, though no CD player is ready
    add({"tone.wav"});
    view()->SetRowLoopText(1, "-1");

    // A folder that is not there: reported, and the editor keeps the list for another try.
    files.next = QString::fromStdString(path("gone/house"));
    boxes.answer = IDYES;
    click(Dlg::IDC_OK);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, "Do you want to save this playlist?");
    EXPECT_EQ(boxes.boxes[1].type, MB_OK | MB_ICONSTOP);
    EXPECT_NE(boxes.boxes[1].text.find(path("gone/house.pla")), std::string::npos);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.IsModified());

    files.next = QString::fromStdString(path("house"));
    click(Dlg::IDC_SAVE);
    EXPECT_EQ(files.last.defaultSuffix, "pla");
    EXPECT_FALSE(dlg.IsModified());
    InertDevice inert;
    const MoxItemOutputs any{{&inert, nullptr}, {&inert, nullptr}, {&inert, nullptr}};
    const auto saved = LoadPlayListFile(path("house.pla"), any);
    EXPECT_EQ(saved->GetName(), path("house.pla"));
    EXPECT_EQ(saved->GetTitle(), "house.pla");
    ASSERT_EQ(saved->GetCount(), 1u) << "the CD row is left out";
    EXPECT_EQ(saved->ItemAt(0)->GetName(), "tone.wav");
    EXPECT_EQ(saved->ItemAt(0)->GetLoopCount(), 0xFFFFFFFFu);

    // The audition leaves it out too: the wave player is the first asked.
    mci.take();
    click(Dlg::IDC_AUDITION);
    const auto first = mci.waitFor("open ");
    ASSERT_TRUE(first.has_value());
    EXPECT_NE(first->find("type=522"), std::string::npos) << *first;
}

TEST_F(CPlayListEditorDlgTest, ClosingStopsTheSoundAndARowEndsByItsNotice) {
    open();
    add({"tone.wav", "C.mid"});
    view()->topLevelItem(1)->setSelected(true); // tone.wav, after the MIDI file
    click(Dlg::IDC_PLAY_ITEM);
    EXPECT_TRUE(editor->IsItemPlaying());
    EXPECT_EQ(button(Dlg::IDC_PLAY_ITEM)->toolTip(), "Stop playing the highlighted audio item");
    EXPECT_EQ(enabled(), (Ids{Dlg::IDC_UP, Dlg::IDC_DOWN, Dlg::IDC_PLAY_ITEM}));
    const auto opened = mci.waitFor("open type=522");
    ASSERT_TRUE(opened.has_value());
    const MCIDEVICEID device = SharedRecordingMciPort::openedDevice(*opened);
    editor->GetNotifyWindow()->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
    ASSERT_TRUE(WaitUntil([this] { return !editor->IsItemPlaying(); }));
    EXPECT_EQ(button(Dlg::IDC_PLAY_ITEM)->toolTip(), "Play the highlighted audio item");
    EXPECT_EQ(enabled(), kEverything);
    EXPECT_TRUE(mci.waitFor("close " + std::to_string(device)));

    // Closing during a single row, and during an audition, stops the sound.
    click(Dlg::IDC_PLAY_ITEM);
    const auto again = mci.waitFor("open type=522");
    ASSERT_TRUE(again.has_value());
    editor->reject();
    EXPECT_TRUE(
        mci.waitFor("close " + std::to_string(SharedRecordingMciPort::openedDevice(*again))));
    open();
    add({"tone.wav"});
    click(Dlg::IDC_AUDITION);
    const auto auditioned = mci.waitFor("open type=522");
    ASSERT_TRUE(auditioned.has_value());
    editor->reject();
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_TRUE(
        mci.waitFor("close " + std::to_string(SharedRecordingMciPort::openedDevice(*auditioned))));
}

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

TEST_F(CPlayListEditorDlgTest, SlidersStayOverTheirRowsAndRowsSpeakTheirText) {
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
    EXPECT_EQ(view()->verticalScrollBar()->value(), view()->verticalScrollBar()->maximum())
        << "the last row added was scrolled into view";
    expectSlidersOverRows("adding");
    QWheelEvent wheel(QPointF(20, 20), view()->viewport()->mapToGlobal(QPointF(20, 20)), {},
                      QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const int before = view()->verticalScrollBar()->value();
    QApplication::sendEvent(view()->viewport(), &wheel);
    EXPECT_LT(view()->verticalScrollBar()->value(), before);
    expectSlidersOverRows("the wheel");
    view()->setCurrentItem(view()->topLevelItem(30));
    QTest::keyClick(view(), Qt::Key_Home);
    EXPECT_EQ(view()->verticalScrollBar()->value(), 0);
    expectSlidersOverRows("Home");

    // Assistive technology reads the rows' text, and what each slider sets.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text(QAccessible::Name), "Construct or display your Play List of Audio Items");
    bool found = false;
    for (int i = 0; i < list->childCount() && !found; ++i) {
        found = list->child(i)->text(QAccessible::Name) == "row 7.wav";
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(view()->GetRowSlider(7))->text(QAccessible::Name),
        "Volume of row 7.wav");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(button(Dlg::IDC_LOAD))->text(QAccessible::Name),
              "Load a Play List from disk");
}

TEST_F(CPlayListEditorDlgTest, TheLoopCountIsEditedInItsDialogAndReadAsStrtolDoes) {
    open();
    add({"tone.wav"});
    const std::vector<std::pair<QString, LONG>> reads = {
        {"12abc", 12}, {"abc", 0}, {" -1", -1}, {"99999999999", INT32_MAX}};
    for (const auto& [text, count] : reads) {
        view()->SetRowLoopText(0, text);
        EXPECT_EQ(view()->GetRowLoopCount(0), count) << text.toStdString();
    }

    view()->SetRowLoopText(0, "1");
    // Typed letters are refused; the down arrow key raises the number and enables Apply;
    // Apply then Close keeps it.
    QTimer::singleShot(0, [] {
        auto* properties =
            qobject_cast<CAudioItemPropertiesDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(properties, nullptr);
        auto* edit = GetDlgItemAs<QLineEdit>(properties, CAudioItemPropertiesDlg::IDC_LOOP_COUNT);
        auto* apply = GetDlgItemAs<QPushButton>(properties, CAudioItemPropertiesDlg::IDC_APPLY);
        EXPECT_EQ(edit->text(), "1");
        QTest::keyClicks(edit, "abc");
        EXPECT_EQ(edit->text(), "1");
        EXPECT_FALSE(apply->isEnabled());
        QTest::keyClick(edit, Qt::Key_Down);
        EXPECT_EQ(edit->text(), "2");
        EXPECT_TRUE(apply->isEnabled());
        QTest::mouseClick(apply, Qt::LeftButton);
        QTest::keyClicks(edit, "7");
        properties->reject();
    });
    doubleClick(view(), 0);
    EXPECT_EQ(view()->GetRowLoopText(0), "2") << "the applied text, not the one typed after";
}

using LaunchPadEditorTest = LaunchPadFixture;

TEST_F(LaunchPadEditorTest, TheEditorTakesTheNoticesWhileOpenAndItsNewListIsOffered) {
    open();
    bool noticesToEditor = false;
    QTimer::singleShot(0, [this, &noticesToEditor] {
        auto* editor = qobject_cast<CPlayListEditorDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(editor, nullptr);
        noticesToEditor = notifyWindow.load() == editor->GetNotifyWindow();
        WritePlayListFile(path("New.pla"), {});
        editor->reject();
    });
    QTest::mouseClick(button(CLaunchPadDlg::IDC_EDITOR), Qt::LeftButton);
    EXPECT_TRUE(noticesToEditor);
    EXPECT_EQ(notifyWindow.load(), dialog->GetNotifyWindow());
    EXPECT_EQ(entries(), std::vector<std::string>{"New.pla"});
    EXPECT_TRUE(button(CLaunchPadDlg::IDC_PLAY_STOP)->isEnabled());
}

} // namespace
