#include "ui/CLaunchPadDlg.h"

#include "app/StartupShortcut.h"
#include "audio/CompletionNotice.h"
#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"
#include "mixer/MixerFaders.h"
#include "model/MoxAudioItem.h"
#include "model/MoxPlayList.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/classlib/CArchive.h"
#include "platform/classlib/CFile.h"
#include "platform/files/FindPathNoCase.h"
#include "platform/mci/Mci.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "res/StringTable.h"
#include "ui/CAboutDlg.h"
#include "ui/COptionsDlg.h"
#include "ui/CPlayListEditorDlg.h"
#include "ui/CRecorderDlg.h"
#include "ui/CWaitCursor.h"
#include "ui/GuardCommand.h"
#include "ui/HelpWindow.h"
#include "ui/IconResources.h"
#include "ui/PlayListFiles.h"
#include "ui_CLaunchPadDlg.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>

#include <filesystem>
#include <new>

namespace {

// Icon resources.
constexpr unsigned IDR_MAINFRAME = 128;
constexpr unsigned IDI_RECORDER = 144;
constexpr unsigned IDI_EDITOR = 145;
constexpr unsigned IDI_TASKBAR = 147;
constexpr unsigned IDI_HELP = 148;
constexpr unsigned IDI_PLAY = 150;
constexpr unsigned IDI_OPTIONS = 151;
constexpr unsigned IDI_STOP = 179;
constexpr unsigned IDI_EXIT = 180;

// The two large buttons draw their icons at this size.
constexpr int kLargeIconWidth = 60;
constexpr int kLargeIconHeight = 64;

// A play list loops without end while the Launch Pad plays it.
constexpr DWORD kLoopForever = 0xFFFFFFFF;

// Loading reads through a buffer of this many bytes.
constexpr unsigned kLoadBufferSize = 4096;

const char* const kIdleTitle = "Quillon Launch Pad";
const char* const kPlayingTitle = "Playing: ";
const char* const kEditorHeading = "Create and Edit Play Lists";
const char* const kRecorderHeading = "Create Announcements";
const char* const kEditorDescription =
    "Click on this button to assemble or edit a play list.  Play Lists are groups of music "
    "files, audio files and CD tracks.  Quillon will play your preferred Play List.";
const char* const kRecorderDescription =
    "Click on this button to record an announcement.  Announcements are Wave files which, once "
    "recorded, can be inserted into a Play List.";
const char* const kNoPlayLists = "There are no playlists in this folder.  Please create a "
                                 "playlist before trying to play it.";
const char* const kNoMemory = "Unable to create playlist! Your PC may be very low in memory.";

QString tipText(unsigned id) {
    return QString::fromStdString(LoadResourceString(id));
}

/// The file a play list path names: a bare name or relative path lies in the data folder,
/// where names are matched without regard to case.
std::string resolvePlayListFile(const std::string& dataFolder, const std::string& path) {
    if (!path.empty() && path.front() == '/') {
        return path;
    }
    if (const auto found = FindPathNoCase(dataFolder, path)) {
        return *found;
    }
    return dataFolder + LoadResourceString(IDS_PATH_SEPARATOR) + path;
}

} // namespace

CLaunchPadDlg::CLaunchPadDlg(const DialogContext& context, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
    , m_ui(std::make_unique<Ui::CLaunchPadDlg>())
    , m_hIcon(LoadIconResource(IDR_MAINFRAME))
    , m_notifyWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
        WindowProc(message, wParam, lParam);
    }) {
    m_ui->setupUi(this);
    // A main window of its own on the taskbar, with a minimise box and no maximise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    connect(m_ui->playStopButton, &QPushButton::clicked, this, [this] { OnPlayStop(); });
    connect(m_ui->editorButton, &QPushButton::clicked, this, [this] { OnEditPlayLists(); });
    connect(m_ui->recorderButton, &QPushButton::clicked, this, [this] { OnRecordAnnouncements(); });
    connect(m_ui->taskbarButton, &QPushButton::clicked, this, [this] { OnSendToTaskbar(); });
    connect(m_ui->optionsButton, &QPushButton::clicked, this, [this] { OnOptions(); });
    connect(m_ui->helpButton, &QPushButton::clicked, this, [this] { OnHelp(); });
    connect(m_ui->exitButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    // The help key asks for help as the help button does.
    auto* helpKey = new QShortcut(QKeySequence::HelpContents, this);
    connect(helpKey, &QShortcut::activated, this, [this] { OnHelp(); });

    // Under the play list box, shown only while an item of the playing list could not start:
    // a list that goes round without end would otherwise repeat a gap nobody can explain.
    m_skipReason = new QLabel(m_ui->pickGroup);
    m_skipReason->setObjectName(QStringLiteral("skipReason"));
    m_skipReason->setWordWrap(true);
    m_skipReason->setTextFormat(Qt::PlainText);
    m_skipReason->setAccessibleName(QStringLiteral("Passed over"));
    m_skipReason->hide();
    if (auto* grid = qobject_cast<QGridLayout*>(m_ui->pickGroup->layout())) {
        grid->addWidget(m_skipReason, 2, 0, 1, -1);
    }
}

CLaunchPadDlg::~CLaunchPadDlg() {
    if (m_initialised) {
        OnDestroy();
    }
}

HelpWindow* CLaunchPadDlg::GetHelpWindow() const {
    return m_helpWindow;
}

QString CLaunchPadDlg::GetSkipReason() const {
    return m_skipReason->isHidden() ? QString() : m_skipReason->text();
}

void CLaunchPadDlg::ShowSkipReason(const QString& reason) {
    m_skipReason->setText(reason);
    m_skipReason->setVisible(!reason.isEmpty());
}

void CLaunchPadDlg::SkipReporter::OnItemPlayed(const MoxAudioItem& item, DWORD, DWORD,
                                               bool started) {
    if (started) {
        return;
    }
    // Asked here, on the worker, right after the failed start: the player's reason is its
    // latest failure's.
    const DialogContext& context = m_dialog.m_context;
    MoxDevice* device = nullptr;
    switch (item.GetKind()) {
    case kindMidi:
        device = context.midDevice;
        break;
    case kindWave:
        device = context.wavDevice;
        break;
    case kindCD:
        device = context.cdDevice;
        break;
    default:
        break;
    }
    std::string reason = device != nullptr ? device->LastReason() : std::string();
    if (reason.empty()) {
        reason = "it could not be played";
    }
    const QString text =
        QStringLiteral("Passed over %1: %2")
            .arg(QString::fromStdString(item.GetName()), QString::fromStdString(reason));
    // Queued to the dialog's thread; dropped if the dialog is gone by then.
    QMetaObject::invokeMethod(
        &m_dialog, [dialog = &m_dialog, text] { dialog->ShowSkipReason(text); },
        Qt::QueuedConnection);
}

void CLaunchPadDlg::setVisible(bool visible) {
    if (visible && !m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CLaunchPadDlg::done(int result) {
    QDialog::done(result);
    OnDestroy();
}

bool CLaunchPadDlg::OnInitDialog() {
    // The "About Quillon" entry lives on the window's context menu (contextMenuEvent).
    setWindowIcon(m_hIcon);

    m_hPlayIcon = LoadIconResource(IDI_PLAY);
    m_hStopIcon = LoadIconResource(IDI_STOP);
    m_ui->editorButton->LoadIcon(IDI_EDITOR, kLargeIconWidth, kLargeIconHeight);
    m_ui->editorButton->SetImagePos(-1, -1);
    m_ui->recorderButton->LoadIcon(IDI_RECORDER, kLargeIconWidth, kLargeIconHeight);
    m_ui->recorderButton->SetImagePos(-1, -1);
    m_ui->playStopButton->setIcon(m_hPlayIcon);
    m_ui->optionsButton->setIcon(LoadIconResource(IDI_OPTIONS));
    m_ui->taskbarButton->setIcon(LoadIconResource(IDI_TASKBAR));
    m_ui->helpButton->setIcon(LoadIconResource(IDI_HELP));
    m_ui->exitButton->setIcon(LoadIconResource(IDI_EXIT));

    QFont heading = font();
    heading.setWeight(QFont::Bold);
    m_ui->editorHeading->setFont(heading);
    m_ui->recorderHeading->setFont(heading);
    m_ui->editorHeading->setText(QString::fromUtf8(kEditorHeading));
    m_ui->recorderHeading->setText(QString::fromUtf8(kRecorderHeading));
    m_ui->editorDescription->setText(QString::fromUtf8(kEditorDescription));
    m_ui->recorderDescription->setText(QString::fromUtf8(kRecorderDescription));

    m_tips.Create(this);
    m_tips.AddTool(m_ui->playListCombo, tipText(IDS_TIP_PLAYLIST_COMBO));
    m_tips.AddTool(m_ui->playStopButton, tipText(IDS_TIP_PLAY));
    m_tips.AddTool(m_ui->editorButton, tipText(IDS_TIP_EDITOR));
    m_tips.AddTool(m_ui->recorderButton, tipText(IDS_TIP_RECORDER));
    m_tips.AddTool(m_ui->exitButton, tipText(IDS_TIP_EXIT));
    m_tips.AddTool(m_ui->optionsButton, tipText(IDS_TIP_OPTIONS));
    m_tips.AddTool(m_ui->helpButton, tipText(IDS_TIP_HELP));
    m_tips.AddTool(m_ui->taskbarButton, tipText(IDS_TIP_TASKBAR));

    m_bPlaying = false;
    m_pPlayList.reset();

    *m_context.notifyWindow = &m_notifyWindow;

    EnablePlayStop(FillPlayListCombo());

    if (m_context.settings->sendToTaskbar == 1) {
        OnSendToTaskbar();
    }
    if (m_context.settings->playDefaultPlayList == 1) {
        GuardCommand([this] {
            if (PlayPlayList(m_context.settings->defaultPlayList) == playOk) {
                ShowPlayState(true);
            }
        });
    }
    return true;
}

void CLaunchPadDlg::OnDestroy() {
    if (m_destroyed) {
        return;
    }
    m_destroyed = true;
    if (m_helpWindow) {
        m_helpWindow->close();
    }
    if (m_context.player) {
        m_context.player->Stop();
        m_context.player->SetObserver(nullptr);
    }
    ReleaseMixerFaders();
    *m_context.notifyWindow = nullptr;
    m_pPlayList.reset();
}

void CLaunchPadDlg::ReleaseMixerFaders() {
    if (m_context.faders) {
        m_context.faders->ReleaseVolumeControls();
    }
}

void CLaunchPadDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The window system offers no menu of the window's own that a program can extend: the
    // entries that would go there are on the window's context menu.
    const QString about = QString::fromStdString(LoadResourceString(IDS_ABOUTBOX));
    if (about.isEmpty()) {
        QDialog::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("LaunchPadMenu"));
    QAction* aboutAction = menu.addAction(about);
    connect(aboutAction, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    menu.exec(event->globalPos());
}

void CLaunchPadDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(GetExecutablePath(), this);
        about.exec();
    }
}

void CLaunchPadDlg::OnEditPlayLists() {
    // The button is disabled while a list plays: the editor's audition needs the player.
    if (m_bPlaying) {
        return;
    }
    {
        // The editor lists the available items as it opens; it shows the wait cursor for
        // that itself, since one held across its modal run would stay over it all along.
        CPlayListEditorDlg editor(m_context, this);
        editor.exec();
    }
    EnablePlayStop(FillPlayListCombo());
    *m_context.notifyWindow = &m_notifyWindow;
}

void CLaunchPadDlg::OnRecordAnnouncements() {
    // The button is disabled while a list plays: the recorder plays through the list's wave
    // player.
    if (m_bPlaying) {
        return;
    }
    {
        // No wait cursor held across its modal run: it would stay over the recorder all along.
        // Closing, the recorder stops what it records or plays, so no notice of it is to come.
        CRecorderDlg recorder(m_context, this);
        recorder.exec();
    }
    *m_context.notifyWindow = &m_notifyWindow;
}

void CLaunchPadDlg::OnOptions() {
    const std::string executablePath = GetExecutablePath();
    COptionsDlg options(m_context, this);
    if (options.exec() != QDialog::Accepted) {
        return;
    }
    AppSettings& settings = *m_context.settings;
    settings.playDefaultPlayList = options.GetPlayDefaultPlayList();
    settings.sendToTaskbar = options.GetSendToTaskbar();
    settings.startWithWindows = options.GetStartWithWindows();
    settings.recordingQuality = options.GetRecordingQuality();
    settings.defaultPlayList = options.GetDefaultPlayList();

    EnablePlayStop(FillPlayListCombo());
    StartupShortcutResult shortcut;
    if (m_context.updateStartupShortcut) {
        shortcut = m_context.updateStartupShortcut(executablePath);
    }
    if (m_context.saveSettings) {
        m_context.saveSettings();
    }
    // Said once the settings are saved, so that the message can say they are.
    if (shortcut.status != StartupShortcutResult::updated) {
        AfxMessageBox(DescribeStartupShortcutProblem(shortcut), MB_OK | MB_ICONSTOP);
    }
}

void CLaunchPadDlg::OnHelp() {
    if (!m_helpWindow) {
        // A window of the Launch Pad's own, so that the modal Launch Pad does not block it.
        m_helpWindow = new HelpWindow(this);
        m_helpWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void CLaunchPadDlg::OnSendToTaskbar() {
    showMinimized();
}

void CLaunchPadDlg::OnPlayStop() {
    CWaitCursor wait;
    GuardCommand([this] {
        if (!m_bPlaying) {
            if (PlayChosenPlayList() == playOk) {
                ShowPlayState(true);
            }
        } else {
            StopPlaying();
            ShowPlayState(false);
        }
    });
}

void CLaunchPadDlg::ShowPlayState(bool playing) {
    m_ui->playStopButton->setIcon(playing ? m_hStopIcon : m_hPlayIcon);
    m_tips.UpdateTipText(playing ? IDS_TIP_STOP : IDS_TIP_PLAY, m_ui->playStopButton);
}

void CLaunchPadDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MM_MCINOTIFY && m_context.mci && m_context.player) {
        ForwardCompletionNotice(*m_context.mci, *m_context.player, wParam, lParam);
    }
}

const std::string& CLaunchPadDlg::DataFolder() const {
    return *m_context.dataFolder;
}

QComboBox* CLaunchPadDlg::PlayListCombo() const {
    return m_ui->playListCombo;
}

int CLaunchPadDlg::SelectedEntry() const {
    // The edit field may hold text the user typed: an entry is chosen only when the field
    // shows its name.
    const QComboBox* combo = PlayListCombo();
    const QString text = combo->currentText();
    const int current = combo->currentIndex();
    if (current >= 0 && combo->itemText(current) == text) {
        return current;
    }
    return text.isEmpty() ? -1 : combo->findText(text, Qt::MatchFixedString);
}

int CLaunchPadDlg::FillPlayListCombo() {
    QComboBox* combo = PlayListCombo();
    QString remembered = QString::fromStdString(m_context.settings->defaultPlayList);
    if (combo->count() > 0) {
        if (const int selected = SelectedEntry(); selected >= 0) {
            remembered = combo->itemText(selected);
        }
        combo->clear();
    }
    for (const std::string& name : ListPlayListFiles(DataFolder(), m_context.patterns->pla)) {
        combo->addItem(QString::fromStdString(name));
    }
    int selection = -1;
    if (remembered.isEmpty()) {
        selection = combo->count() > 0 ? 0 : -1;
    } else {
        for (int i = 0; i < combo->count(); ++i) {
            if (combo->itemText(i).startsWith(remembered, Qt::CaseInsensitive)) {
                selection = i;
                break;
            }
        }
    }
    combo->setCurrentIndex(selection);
    if (selection < 0) {
        combo->setEditText(QString());
    }
    return combo->count();
}

void CLaunchPadDlg::EnablePlayStop(int entries) {
    m_ui->playStopButton->setEnabled(entries >= 1);
}

int CLaunchPadDlg::PlayChosenPlayList() {
    if (m_context.player && m_context.player->IsPlaying()) {
        return playNothingDone;
    }
    const int selected = SelectedEntry();
    const std::string text =
        selected >= 0 ? PlayListCombo()->itemText(selected).toStdString() : std::string();
    if (text.empty()) {
        AfxMessageBox(kNoPlayLists, MB_OK | MB_ICONINFORMATION);
        return playNoFile;
    }
    return PlayPlayList(DataFolder() + LoadResourceString(IDS_PATH_SEPARATOR) + text);
}

int CLaunchPadDlg::PlayPlayList(const std::string& path) {
    if (path.empty()) {
        return playNothingDone;
    }
    // The held list may be the one the player walks: it is never replaced under the player.
    if (m_context.player && m_context.player->IsPlaying()) {
        return playNothingDone;
    }
    const std::string file = resolvePlayListFile(DataFolder(), path);
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        const std::string shown = QString::fromStdString(path).toUpper().toStdString();
        AfxMessageBox("Unable to find your preferred Play List file " + shown + ".",
                      MB_OK | MB_ICONSTOP);
        return playNoFile;
    }

    m_pPlayList.reset();
    try {
        m_pPlayList = std::make_unique<MoxPlayList>(m_context.ItemOutputs());
    } catch (const std::bad_alloc&) {
        AfxMessageBox(kNoMemory, MB_OK | MB_ICONSTOP);
        return playNoList;
    }
    {
        CFile in(file, CFile::modeRead);
        CArchive archive(&in, CArchive::load, kLoadBufferSize);
        m_pPlayList->Serialize(archive);
    }
    m_pPlayList->SetLoopCount(kLoopForever);

    setWindowTitle(QString::fromUtf8(kPlayingTitle) + QString::fromStdString(path));
    if (m_context.player) {
        m_context.player->SetObserver(&m_skipReporter);
        m_context.player->SetPlayList(m_pPlayList.get());
        m_context.player->Start();
    }
    m_bPlaying = true;
    m_ui->editorButton->setEnabled(false);
    m_ui->recorderButton->setEnabled(false);
    return playOk;
}

void CLaunchPadDlg::StopPlaying() {
    CWaitCursor wait;
    if (m_context.player) {
        m_context.player->Stop();
        m_context.player->SetObserver(nullptr);
    }
    ShowSkipReason(QString());
    m_bPlaying = false;
    m_ui->editorButton->setEnabled(true);
    m_ui->recorderButton->setEnabled(true);
    setWindowTitle(QString::fromUtf8(kIdleTitle));
}
