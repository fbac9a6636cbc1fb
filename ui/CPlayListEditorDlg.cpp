#include "ui/CPlayListEditorDlg.h"

#include "audio/CompletionNotice.h"
#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"
#include "mixer/MixerFaders.h"
#include "model/MoxCD.h"
#include "model/MoxLockGuard.h"
#include "model/MoxMid.h"
#include "model/MoxPlayList.h"
#include "model/MoxPlayListPlayer.h"
#include "model/MoxWav.h"
#include "platform/classlib/CArchive.h"
#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"
#include "platform/files/FindPathNoCase.h"
#include "platform/mci/MciPort.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "res/StringTable.h"
#include "ui/CAudioItemListCtrl.h"
#include "ui/CAudioItemPropertiesDlg.h"
#include "ui/CPlainButton.h"
#include "ui/CPlayListCtrl.h"
#include "ui/CWaitCursor.h"
#include "ui/DialogControls.h"
#include "ui/FileDialog.h"
#include "ui/GuardCommand.h"
#include "ui/IconResources.h"
#include "ui/PlayListFiles.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <new>

namespace {

// Icon resources.
constexpr unsigned IDI_CANCEL = 149;
constexpr unsigned IDI_STOP_LIST = 152;
constexpr unsigned IDI_ADD = 153;
constexpr unsigned IDI_REMOVE = 154;
constexpr unsigned IDI_AUDITION = 155;
constexpr unsigned IDI_SAVE = 156;
constexpr unsigned IDI_CLEAR = 157;
constexpr unsigned IDI_LOAD = 158;
constexpr unsigned IDI_PLAY_ITEM = 159;
constexpr unsigned IDI_UP = 160;
constexpr unsigned IDI_DOWN = 161;
constexpr unsigned IDI_OK = 162;
constexpr unsigned IDI_STOP_ITEM = 177;

using Dlg = CPlayListEditorDlg;

// The buttons of the editor, in the order they are made: picture, tip, and whether the
// button starts enabled.
struct ButtonSpec {
    int id;
    unsigned icon;
    unsigned tip;
    bool enabled;
};
constexpr ButtonSpec kButtons[] = {
    {Dlg::IDC_ADD, IDI_ADD, IDS_TIP_EDITOR_ADD, false},
    {Dlg::IDC_REMOVE, IDI_REMOVE, IDS_TIP_EDITOR_REMOVE, false},
    {Dlg::IDC_UP, IDI_UP, IDS_TIP_EDITOR_UP, false},
    {Dlg::IDC_DOWN, IDI_DOWN, IDS_TIP_EDITOR_DOWN, false},
    {Dlg::IDC_LOAD, IDI_LOAD, IDS_TIP_EDITOR_LOAD, true},
    {Dlg::IDC_SAVE, IDI_SAVE, IDS_TIP_EDITOR_SAVE, false},
    {Dlg::IDC_CLEAR, IDI_CLEAR, IDS_TIP_EDITOR_CLEAR, false},
    {Dlg::IDC_AUDITION, IDI_AUDITION, IDS_TIP_EDITOR_AUDITION, false},
    {Dlg::IDC_PLAY_ITEM, IDI_PLAY_ITEM, IDS_TIP_EDITOR_PLAY_ITEM, false},
    {Dlg::IDC_OK, IDI_OK, IDS_TIP_CLOSE, true},
    {Dlg::IDC_CANCEL, IDI_CANCEL, IDS_TIP_CANCEL, true},
};

// The button groups, each switched as a whole.
const std::vector<int> kItemGroup = {Dlg::IDC_REMOVE, Dlg::IDC_AUDITION, Dlg::IDC_SAVE,
                                     Dlg::IDC_CLEAR, Dlg::IDC_PLAY_ITEM};
const std::vector<int> kOrderGroup = {Dlg::IDC_REMOVE, Dlg::IDC_AUDITION,  Dlg::IDC_SAVE,
                                      Dlg::IDC_CLEAR,  Dlg::IDC_PLAY_ITEM, Dlg::IDC_UP,
                                      Dlg::IDC_DOWN};
const std::vector<int> kAuditionGroup = {Dlg::IDC_LOAD,  Dlg::IDC_SAVE,      Dlg::IDC_REMOVE,
                                         Dlg::IDC_CLEAR, Dlg::IDC_PLAY_ITEM, Dlg::IDC_UP,
                                         Dlg::IDC_DOWN};
const std::vector<int> kSinglePlayGroup = {Dlg::IDC_REMOVE, Dlg::IDC_AUDITION, Dlg::IDC_LOAD,
                                           Dlg::IDC_SAVE,   Dlg::IDC_CLEAR,    Dlg::IDC_ADD};

// An audition plays the list over and over until it is stopped.
constexpr DWORD kLoopForever = 0xFFFFFFFF;
// Play list files are read and written through a buffer of this many bytes.
constexpr unsigned kArchiveBufferSize = 4096;
constexpr int kNewRowLoopCount = 1;
constexpr int kButtonWidth = 44;
constexpr int kButtonHeight = 34;
constexpr int kButtonIconSize = 24;
// The lists show about a dozen rows.
constexpr int kListHeight = 280;

const char* const kBaseTitle = "Quillon Playlist Controls";
const char* const kAvailableCaption = "Choose from this list of available Audio Items";
const char* const kPlayListCaption = "Construct or display your Play List of Audio Items";
const char* const kTrackPrefix = "Track ";
const char* const kClearQuestion = "Clear the current playlist: are you sure?";
const char* const kSaveQuestion = "Do you want to save this playlist?";
const char* const kNoMemoryToLoad = "Unable to load playlist! Your PC may be very low in memory.";
const char* const kNoMemoryToSave = "Unable to save playlist! Your PC may be very low in memory.";
const char* const kNoMemoryToPlay = "Unable to create playlist! Your PC may be very low in memory.";

/// A folder name from the string table, without the separator it ends with.
std::string folderName(unsigned id) {
    std::string name = LoadResourceString(id);
    while (!name.empty() && name.back() == '/') {
        name.pop_back();
    }
    return name;
}

/// The track number of a CD row's text ("Track 7" is 7), 0 when it has none.
int trackNumber(const std::string& text) {
    const std::string prefix = kTrackPrefix;
    if (text.rfind(prefix, 0) != 0) {
        return 0;
    }
    return std::atoi(text.c_str() + prefix.size());
}

} // namespace

CPlayListEditorDlg::CPlayListEditorDlg(const DialogContext& context, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
    , m_notifyWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
        WindowProc(message, wParam, lParam);
    }) {
    CreateControls();
}

CPlayListEditorDlg::~CPlayListEditorDlg() {
    if (m_initialised) {
        OnDestroy();
    }
}

void CPlayListEditorDlg::CreateControls() {
    m_available = new CAudioItemListCtrl(this);
    SetControlId(m_available, IDC_AVAILABLE);
    m_available->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_playList = new CPlayListCtrl(m_context.ItemOutputs(), this);
    SetControlId(m_playList, IDC_PLAYLIST);
    m_available->setMinimumHeight(kListHeight);
    m_playList->setMinimumHeight(kListHeight);
    for (const ButtonSpec& spec : kButtons) {
        auto* button = new CPlainButton(this);
        SetControlId(button, spec.id);
        button->setFixedSize(kButtonWidth, kButtonHeight);
        button->setIconSize(QSize(kButtonIconSize, kButtonIconSize));
        button->setEnabled(spec.enabled);
        m_buttons.push_back(button);
    }
    Button(IDC_OK)->setDefault(true);

    auto* availableCaption = new QLabel(QString::fromUtf8(kAvailableCaption), this);
    availableCaption->setBuddy(m_available);
    m_available->setAccessibleName(availableCaption->text());
    auto* playListCaption = new QLabel(QString::fromUtf8(kPlayListCaption), this);
    playListCaption->setBuddy(m_playList);
    m_playList->setAccessibleName(playListCaption->text());

    auto column = [this](std::initializer_list<int> ids) {
        auto* box = new QVBoxLayout;
        for (const int id : ids) {
            box->addWidget(Button(id));
        }
        box->addStretch();
        return box;
    };
    auto* bottom = new QHBoxLayout;
    for (const int id : {IDC_LOAD, IDC_SAVE, IDC_CLEAR}) {
        bottom->addWidget(Button(id));
    }
    bottom->addSpacing(kButtonWidth / 2);
    for (const int id : {IDC_AUDITION, IDC_PLAY_ITEM}) {
        bottom->addWidget(Button(id));
    }
    bottom->addStretch();
    for (const int id : {IDC_OK, IDC_CANCEL}) {
        bottom->addWidget(Button(id));
    }

    auto* layout = new QGridLayout(this);
    layout->addWidget(availableCaption, 0, 0);
    layout->addWidget(playListCaption, 0, 2);
    layout->addWidget(m_available, 1, 0);
    layout->addLayout(column({IDC_ADD, IDC_REMOVE}), 1, 1);
    layout->addWidget(m_playList, 1, 2);
    layout->addLayout(column({IDC_UP, IDC_DOWN}), 1, 3);
    layout->addLayout(bottom, 2, 0, 1, 4);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(2, 1);
    // Tab order: the lists with the buttons beside them, then the buttons below.
    QWidget* previous = m_available;
    for (QWidget* next : std::initializer_list<QWidget*>{
             Button(IDC_ADD), Button(IDC_REMOVE), m_playList, Button(IDC_UP), Button(IDC_DOWN),
             Button(IDC_LOAD), Button(IDC_SAVE), Button(IDC_CLEAR), Button(IDC_AUDITION),
             Button(IDC_PLAY_ITEM), Button(IDC_OK), Button(IDC_CANCEL)}) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(Button(IDC_ADD), &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(Button(IDC_REMOVE), &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(Button(IDC_UP), &QPushButton::clicked, this, [this] { OnUp(); });
    connect(Button(IDC_DOWN), &QPushButton::clicked, this, [this] { OnDown(); });
    connect(Button(IDC_LOAD), &QPushButton::clicked, this, [this] { OnLoad(); });
    connect(Button(IDC_SAVE), &QPushButton::clicked, this, [this] { OnSave(); });
    connect(Button(IDC_CLEAR), &QPushButton::clicked, this, [this] { OnClear(); });
    connect(Button(IDC_AUDITION), &QPushButton::clicked, this, [this] { OnAudition(); });
    connect(Button(IDC_PLAY_ITEM), &QPushButton::clicked, this, [this] { OnPlayItem(); });
    connect(Button(IDC_OK), &QPushButton::clicked, this, [this] { OnOK(); });
    connect(Button(IDC_CANCEL), &QPushButton::clicked, this, &QDialog::reject);
    connect(m_available, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OnAvailableDoubleClick(item); });
    connect(m_playList, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OnPlayListDoubleClick(item); });
}

QPushButton* CPlayListEditorDlg::Button(int id) const {
    for (QPushButton* button : m_buttons) {
        if (GetControlId(button) == id) {
            return button;
        }
    }
    return nullptr;
}

void CPlayListEditorDlg::EnableGroup(const std::vector<int>& ids, bool enable) {
    for (const int id : ids) {
        Button(id)->setEnabled(enable);
    }
}

void CPlayListEditorDlg::setVisible(bool visible) {
    if (visible && !m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CPlayListEditorDlg::done(int result) {
    QDialog::done(result);
    OnDestroy();
}

bool CPlayListEditorDlg::OnInitDialog() {
    CWaitCursor wait; // the folders are searched
    m_previousNotifyWindow = m_context.notifyWindow->exchange(&m_notifyWindow);

    m_hStopListIcon = LoadIconResource(IDI_STOP_LIST);
    m_hStopItemIcon = LoadIconResource(IDI_STOP_ITEM);
    m_hPlayItemIcon = LoadIconResource(IDI_PLAY_ITEM);
    m_hAuditionIcon = LoadIconResource(IDI_AUDITION);
    m_tips.Create(this);
    for (const ButtonSpec& spec : kButtons) {
        Button(spec.id)->setIcon(LoadIconResource(spec.icon));
        m_tips.AddTool(Button(spec.id), QString::fromStdString(LoadResourceString(spec.tip)));
    }

    m_modified = false;
    m_itemPlaying = false;
    m_itemsFound = false;
    m_editorPlayList.reset();
    m_singleItem.reset();
    m_baseTitle = QString::fromUtf8(kBaseTitle);
    setWindowTitle(m_baseTitle);
    m_available->InitColumns();
    m_playList->InitColumns();
    FillAvailableItems();
    return true;
}

void CPlayListEditorDlg::OnDestroy() {
    if (m_destroyed) {
        return;
    }
    m_destroyed = true;
    m_context.player->Stop();
    StopItem();
    m_editorPlayList.reset();
    m_entries.clear();
    // Nothing plays any more that could post to this window: the notices go back.
    HWND self = &m_notifyWindow;
    m_context.notifyWindow->compare_exchange_strong(self, m_previousNotifyWindow);
}

void CPlayListEditorDlg::FillAvailableItems() {
    const std::string& data = *m_context.dataFolder;
    const FilePatterns& patterns = *m_context.patterns;
    auto search = [this, &data](unsigned folderId, const std::string& pattern, int image) {
        // Each search lists its files sorted without regard to case, as they are matched.
        const auto folder = FindPathNoCase(data, folderName(folderId));
        if (!folder) {
            return;
        }
        for (const std::string& name : ListPlayListFiles(*folder, pattern)) {
            AddEntry(name, image);
        }
    };
    if (m_context.midDevice != nullptr && m_context.midDevice->IsReady()) {
        search(IDS_MIDI_FOLDER, patterns.mid, CAudioItemListCtrl::imageMidi);
        search(IDS_MIDI_FOLDER, patterns.rmi, CAudioItemListCtrl::imageMidi);
    }
    if (m_context.wavDevice != nullptr && m_context.wavDevice->IsReady()) {
        search(IDS_WAVE_FOLDER, patterns.wav, CAudioItemListCtrl::imageWave);
    }
    if (m_context.cdDevice != nullptr && m_context.cdDevice->IsReady()) {
        for (DWORD track = 1; track <= m_context.cdDevice->GetTrackCount(); ++track) {
            AddEntry(kTrackPrefix + std::to_string(track), CAudioItemListCtrl::imageCD);
        }
    }
    if (m_itemsFound) {
        Button(IDC_ADD)->setEnabled(true);
    }
}

void CPlayListEditorDlg::AddEntry(const std::string& name, int image) {
    CAudioItemEntry entry{static_cast<int>(m_entries.size()), image, name};
    m_available->InsertRow(entry.index, QString::fromStdString(entry.text), entry.image);
    m_entries.push_back(std::move(entry));
    m_itemsFound = true;
}

int CPlayListEditorDlg::DefaultVolume(LONG kind) const {
    if (m_context.faders == nullptr) {
        return 0;
    }
    switch (kind) {
    case kindMidi:
        return static_cast<int>(m_context.faders->synthFader.ReadVolume());
    case kindWave:
        return static_cast<int>(m_context.faders->waveFader.ReadVolume());
    case kindCD:
        return static_cast<int>(m_context.faders->cdFader.ReadVolume());
    default:
        return 0;
    }
}

bool CPlayListEditorDlg::AddAvailableRow(int entry) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= m_entries.size()) {
        return false;
    }
    const CAudioItemEntry& item = m_entries[static_cast<std::size_t>(entry)];
    const LONG kind = CAudioItemListCtrl::KindFromImage(item.image);
    return m_playList->AddRow(m_playList->GetRowCount() + 1, QString::fromStdString(item.text),
                              kNewRowLoopCount, DefaultVolume(kind), kind);
}

void CPlayListEditorDlg::OnAdd() {
    // The groups follow the rows this command adds, not the rows in the list.
    int added = 0;
    for (const int row : m_available->GetSelectedRows()) {
        m_modified = AddAvailableRow(row);
        ++added;
        if (added == 1) {
            EnableGroup(kItemGroup, true);
        } else if (added == 2) {
            EnableGroup(kOrderGroup, true);
        }
    }
}

void CPlayListEditorDlg::OnAvailableDoubleClick(QTreeWidgetItem* item) {
    const int row = m_available->indexOfTopLevelItem(item);
    if (row < 0) {
        return;
    }
    m_modified = AddAvailableRow(row);
    const int rows = m_playList->GetRowCount();
    if (rows == 1) {
        EnableGroup(kItemGroup, true);
    } else if (rows > 1) {
        if (!m_itemPlaying) {
            EnableGroup(kOrderGroup, true);
        }
        Button(IDC_PLAY_ITEM)->setEnabled(!m_context.player->IsPlaying());
    }
}

void CPlayListEditorDlg::OnRemove() {
    m_playList->RemoveSelected();
    const int rows = m_playList->GetRowCount();
    if (rows <= 1) {
        EnableGroup(kOrderGroup, false);
    }
    if (rows == 1) {
        EnableGroup(kItemGroup, true);
    }
}

void CPlayListEditorDlg::OnUp() {
    m_modified = m_playList->MoveUp();
}

void CPlayListEditorDlg::OnDown() {
    m_modified = m_playList->MoveDown();
}

int CPlayListEditorDlg::ClearPlayList() {
    if (m_playList->GetRowCount() == 0) {
        return IDYES;
    }
    const int answer = AfxMessageBox(kClearQuestion, MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) {
        return answer;
    }
    m_playList->RemoveAll();
    m_modified = false;
    EnableGroup(kOrderGroup, false);
    return IDYES;
}

void CPlayListEditorDlg::OnClear() {
    ClearPlayList();
}

FileDialogRequest CPlayListEditorDlg::PlayListFileRequest(FileDialogRequest::Mode mode) const {
    const std::string& pattern = m_context.patterns->pla;
    FileDialogRequest request;
    request.mode = mode;
    request.folder = QString::fromStdString(*m_context.dataFolder);
    request.filter =
        QStringLiteral("Quillon Playlist files (%1)").arg(QString::fromStdString(pattern));
    if (mode == FileDialogRequest::Mode::save) {
        // The pattern's extension: "*.pla" gives "pla".
        request.defaultSuffix = QString::fromStdString(pattern.substr(pattern.rfind('.') + 1));
        request.overwritePrompt = true;
    }
    return request;
}

bool CPlayListEditorDlg::NewEditorPlayList(const char* noMemoryMessage) {
    // The player may walk the old list: it is never deleted under it.
    m_context.player->Stop();
    m_editorPlayList.reset();
    try {
        m_editorPlayList = std::make_unique<MoxPlayList>(m_context.ItemOutputs());
        return true;
    } catch (const std::bad_alloc&) {
        AfxMessageBox(noMemoryMessage, MB_OK | MB_ICONSTOP);
        return false;
    }
}

void CPlayListEditorDlg::OnLoad() {
    if (ClearPlayList() != IDYES) {
        return;
    }
    EnableGroup(kOrderGroup, false);
    if (!LoadPlayList()) {
        return;
    }
    ShowPlayList();
    EnableGroup(kOrderGroup, true);
}

bool CPlayListEditorDlg::LoadPlayList() {
    const auto chosen = RunFileDialog(this, PlayListFileRequest(FileDialogRequest::Mode::open));
    if (!chosen || !NewEditorPlayList(kNoMemoryToLoad)) {
        return false;
    }
    const std::string path = chosen->toStdString();
    bool opened = false;
    try {
        CFile file(path, CFile::modeRead);
        opened = true;
        CArchive archive(&file, CArchive::load, kArchiveBufferSize);
        m_editorPlayList->Serialize(archive);
    } catch (const CException& error) {
        if (!opened) {
            AfxMessageBox(error.GetErrorMessage(), MB_OK | MB_ICONSTOP);
            m_editorPlayList.reset();
            return false;
        }
        // A damaged file: what was read before the damage is shown.
        const DWORD kept = m_editorPlayList->GetCount();
        const std::string shown =
            kept == 0 ? "No audio item could be read before the damage."
            : kept == 1
                ? "The 1 audio item read before the damage is shown."
                : "The " + std::to_string(kept) + " audio items read before the damage are shown.";
        AfxMessageBox(error.GetErrorMessage() + "\n\n" + shown, MB_OK | MB_ICONSTOP);
    }
    const std::string name = m_editorPlayList->GetName();
    setWindowTitle(name.empty()
                       ? m_baseTitle
                       : m_baseTitle + QStringLiteral(" - ") + QString::fromStdString(name));
    return true;
}

void CPlayListEditorDlg::ShowPlayList() {
    if (m_editorPlayList == nullptr) {
        return;
    }
    const DWORD count = m_editorPlayList->GetCount();
    for (DWORD i = 0; i < count; ++i) {
        const MoxAudioItem* item = m_editorPlayList->ItemAt(i);
        m_playList->AddRow(static_cast<int>(i), QString::fromStdString(item->GetName()),
                           static_cast<LONG>(item->GetLoopCount()),
                           static_cast<int>(item->GetVolume()), item->GetKind());
        m_modified = true;
    }
}

void CPlayListEditorDlg::OnSave() {
    SavePlayList();
}

bool CPlayListEditorDlg::SavePlayList() {
    const FileDialogRequest request = PlayListFileRequest(FileDialogRequest::Mode::save);
    const auto chosen = RunFileDialog(this, request);
    if (!chosen) {
        return true;
    }
    std::filesystem::path path(chosen->toStdString());
    // A typed name without an extension gets the default one, whichever dialog asked.
    if (!path.has_extension() && !request.defaultSuffix.isEmpty()) {
        path += "." + request.defaultSuffix.toStdString();
    }
    // An audition may be playing: Add can enable Save during one, and OK can save.
    if (!NewEditorPlayList(kNoMemoryToSave)) {
        return true;
    }
    BuildPlayList(m_playList->GetRowCount());
    m_editorPlayList->SetName(path.string());
    return GuardCommand([this, &path] {
        // The file replaces an old one only once it is complete.
        CFile file(path.string(), CFile::modeCreate | CFile::modeWrite);
        m_editorPlayList->SetTitle(path.filename().string());
        CArchive archive(&file, CArchive::store, kArchiveBufferSize);
        m_editorPlayList->Serialize(archive);
        archive.Close();
        file.Close();
        m_modified = false;
    });
}

std::unique_ptr<MoxAudioItem> CPlayListEditorDlg::CreateItem(int image,
                                                             const std::string& text) const {
    const MoxItemOutputs outputs = m_context.ItemOutputs();
    switch (image) {
    case CAudioItemListCtrl::imageCD:
        if (m_context.cdDevice != nullptr && m_context.cdDevice->IsReady()) {
            return std::make_unique<MoxCD>(outputs.cd, text);
        }
        break;
    case CAudioItemListCtrl::imageMidi:
        if (m_context.midDevice != nullptr && m_context.midDevice->IsReady()) {
            return std::make_unique<MoxMid>(outputs.midi, text);
        }
        break;
    case CAudioItemListCtrl::imageWave:
        if (m_context.wavDevice != nullptr && m_context.wavDevice->IsReady()) {
            return std::make_unique<MoxWav>(outputs.wave, text);
        }
        break;
    default:
        break;
    }
    return nullptr;
}

int CPlayListEditorDlg::BuildPlayList(int rows) {
    int added = 0;
    for (int i = 0; i < rows; ++i) {
        const int image = m_playList->GetRowImage(i);
        const std::string text = m_playList->GetRowText(i).toStdString();
        std::unique_ptr<MoxAudioItem> item;
        try {
            item = CreateItem(image, text);
        } catch (const std::bad_alloc&) {
            std::string message;
            if (image == CAudioItemListCtrl::imageCD) {
                message = "Unable to create an audio item for CD track " +
                          std::to_string(trackNumber(text));
            } else if (image == CAudioItemListCtrl::imageMidi) {
                message = "Unable to create an audio item for Midi file " + text;
            } else {
                message = "Unable to create an audio item for wave file " + text;
            }
            AfxMessageBox(message, MB_OK | MB_ICONSTOP);
            continue;
        }
        if (item == nullptr) {
            continue; // its player is not ready
        }
        item->SetLoopCount(static_cast<DWORD>(m_playList->GetRowLoopCount(i)));
        item->SetReservedA(0);
        item->SetName(text);
        item->SetTitle(text);
        item->SetVolume(static_cast<DWORD>(m_playList->GetRowVolume(i)));
        if (m_editorPlayList->Add(std::move(item))) {
            ++added;
        }
    }
    return added;
}

void CPlayListEditorDlg::OnAudition() {
    MoxLockGuard guard(m_auditionLock);
    CWaitCursor wait;
    QPushButton* audition = Button(IDC_AUDITION);
    if (m_context.player->IsPlaying()) {
        EnableGroup(kAuditionGroup, true);
        StopAudition();
        audition->setIcon(m_hAuditionIcon);
        m_tips.UpdateTipText(IDS_TIP_EDITOR_AUDITION, audition);
    } else {
        EnableGroup(kAuditionGroup, false);
        StartAudition();
        audition->setIcon(m_hStopListIcon);
        m_tips.UpdateTipText(IDS_TIP_EDITOR_STOP_AUDITION, audition);
    }
}

void CPlayListEditorDlg::StartAudition() {
    CWaitCursor wait;
    MoxPlayListPlayer& player = *m_context.player;
    if (player.IsPlaying() || m_playList->GetRowCount() < 1) {
        return;
    }
    if (!NewEditorPlayList(kNoMemoryToPlay)) {
        return;
    }
    if (BuildPlayList(m_playList->GetRowCount()) > 0) {
        m_editorPlayList->SetLoopCount(kLoopForever);
        player.SetPlayList(m_editorPlayList.get());
        player.Start();
    }
}

void CPlayListEditorDlg::StopAudition() {
    CWaitCursor wait;
    m_context.player->Stop();
}

void CPlayListEditorDlg::OnPlayItem() {
    MoxLockGuard guard(m_auditionLock);
    CWaitCursor wait;
    QPushButton* playItem = Button(IDC_PLAY_ITEM);
    if (m_itemPlaying) {
        StopItem();
        ShowItemStopped();
    } else if (StartItem()) {
        playItem->setIcon(m_hStopItemIcon);
        m_tips.UpdateTipText(IDS_TIP_EDITOR_STOP_ITEM, playItem);
        EnableGroup(kSinglePlayGroup, false);
    }
}

void CPlayListEditorDlg::ShowItemStopped() {
    QPushButton* playItem = Button(IDC_PLAY_ITEM);
    playItem->setIcon(m_hPlayItemIcon);
    m_tips.UpdateTipText(IDS_TIP_EDITOR_PLAY_ITEM, playItem);
    EnableGroup(kSinglePlayGroup, true);
}

bool CPlayListEditorDlg::StartItem() {
    MoxLockGuard guard(m_itemLock);
    // The row would share its player with the audition and stop it for good when it ends.
    if (m_context.player->IsPlaying()) {
        return false;
    }
    const int row = m_playList->GetFirstSelectedRow();
    if (row < 0) {
        return false;
    }
    const std::string text = m_playList->GetRowText(row).toStdString();
    try {
        m_singleItem = CreateItem(m_playList->GetRowImage(row), text);
    } catch (const std::bad_alloc&) {
        m_singleItem.reset();
    }
    if (m_singleItem == nullptr) {
        AfxMessageBox("Unable to create an audio item for this selection " + text,
                      MB_OK | MB_ICONSTOP);
        return false;
    }
    m_singleItem->SetVolume(static_cast<DWORD>(m_playList->GetRowVolume(row)));
    m_singleItem->Play();
    m_itemPlaying = true;
    return true;
}

void CPlayListEditorDlg::StopItem() {
    MoxLockGuard guard(m_itemLock);
    if (m_singleItem != nullptr) {
        m_singleItem->Stop();
        m_itemPlaying = false;
        m_singleItem.reset();
    }
}

void CPlayListEditorDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != MM_MCINOTIFY || m_context.mci == nullptr) {
        return;
    }
    // A notice of a device closed since it was posted belongs to an item already left.
    const bool current = m_context.mci->IsDeviceOpen(static_cast<MCIDEVICEID>(lParam));
    if (m_itemPlaying) {
        if (current && (wParam == MCI_NOTIFY_SUCCESSFUL || wParam == MCI_NOTIFY_FAILURE)) {
            StopItem();
            ShowItemStopped();
        }
        return;
    }
    ForwardCompletionNotice(*m_context.mci, *m_context.player, wParam, lParam);
}

void CPlayListEditorDlg::OnPlayListDoubleClick(QTreeWidgetItem* item) {
    const int row = m_playList->indexOfTopLevelItem(item);
    if (row < 0) {
        return;
    }
    CAudioItemPropertiesDlg properties(this);
    properties.SetLoopText(m_playList->GetRowLoopText(row));
    properties.exec();
    m_playList->SetRowLoopText(row, properties.GetLoopText());
}

void CPlayListEditorDlg::OnOK() {
    if (m_modified && AfxMessageBox(kSaveQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        // A save that failed keeps the editor open, with the list, for another try.
        if (!SavePlayList()) {
            return;
        }
    }
    accept();
}
