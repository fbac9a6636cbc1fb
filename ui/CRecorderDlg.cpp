#include "ui/CRecorderDlg.h"

#include "audio/MoxRecorder.h"
#include "audio/MoxWavDevice.h"
#include "mixer/MixerFaders.h"
#include "platform/files/FindPathNoCase.h"
#include "platform/mci/Mci.h"
#include "platform/mci/MciPort.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "res/StringTable.h"
#include "ui/CWaitCursor.h"
#include "ui/DialogControls.h"
#include "ui/FileDialog.h"
#include "ui/IconResources.h"
#include "ui/MoveFileOver.h"
#include "ui_CRecorderDlg.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QRadioButton>

#include <filesystem>

namespace {

// Icon resources.
constexpr unsigned IDI_CANCEL = 149;
constexpr unsigned IDI_PLAY = 150;
constexpr unsigned IDI_SAVE = 156;
constexpr unsigned IDI_OK = 162;
constexpr unsigned IDI_RECORD = 163;
constexpr unsigned IDI_REMOVE_HISS = 164;
constexpr unsigned IDI_MAXIMIZE_VOLUME = 165;
constexpr unsigned IDI_STOP_RECORDING = 178;
constexpr unsigned IDI_STOP_PLAYING = 179;

constexpr int kTickFrequency = 20;

const char* const kRecordCaption = "Record Announcement";
const char* const kStopRecordingCaption = "Stop Recording";
const char* const kPlayCaption = "Play Announcement";
const char* const kStopPlayingCaption = "Stop Playing";
const char* const kRemovingHiss = "Removing hiss from the recording…";
const char* const kMaximizing = "Maximizing the volume of the recording…";
const char* const kAskToSave = "Do you want to save this announcement?";
const char* const kNoMicrophone =
    "Unable to record: this PC has no microphone that Quillon can use.\nConnect a microphone "
    "(or choose a sound input in the PC's sound settings) and try again.";

QString tipText(unsigned id) {
    return QString::fromStdString(LoadResourceString(id));
}

/// What the save message says about a failure, by its cause.
const char* saveFailureReason(CFileException::Cause cause) {
    switch (cause) {
    case CFileException::fileNotFound:
        return "file not found";
    case CFileException::accessDenied:
        return "access denied to file";
    case CFileException::directoryFull:
        return "directory full up";
    case CFileException::hardIO:
        return "hardware error!";
    case CFileException::diskFull:
        return "not enough spare disk space";
    default:
        return "the operating system did not supply a reason";
    }
}

bool sameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    return std::filesystem::equivalent(a.parent_path(), b.parent_path(), error);
}

} // namespace

CRecorderDlg::CRecorderDlg(const DialogContext& context, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
    , m_ui(std::make_unique<Ui::CRecorderDlg>())
    , m_notifyWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
        WindowProc(message, wParam, lParam);
    })
    , m_cleaner(std::make_unique<RecordingCleaner>(
          this, [this](const RecordingCleaner::Job& job, const CleanResult& result) {
              OnProcessed(job, result);
          })) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    connect(m_ui->recordButton, &QPushButton::clicked, this, [this] { OnRecord(); });
    connect(m_ui->playButton, &QPushButton::clicked, this, [this] { OnPlay(); });
    connect(m_ui->saveButton, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(m_ui->removeHissButton, &QPushButton::clicked, this, [this] { OnRemoveHiss(); });
    connect(m_ui->maximizeButton, &QPushButton::clicked, this, [this] { OnMaximizeVolume(); });
    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* qualities = new QButtonGroup(this);
    qualities->addButton(m_ui->averageRadio, 0);
    qualities->addButton(m_ui->goodRadio, 1);
    qualities->addButton(m_ui->bestRadio, 2);
    connect(qualities, &QButtonGroup::idClicked, this,
            [this](int quality) { OnQuality(static_cast<DWORD>(quality)); });
}

CRecorderDlg::~CRecorderDlg() {
    m_cleaner.reset();
    if (!m_initialised) {
        return;
    }
    StopActivity();
    // Nothing may post to the window once it is gone.
    HWND self = &m_notifyWindow;
    m_context.notifyWindow->compare_exchange_strong(self, nullptr);
}

void CRecorderDlg::setVisible(bool visible) {
    if (visible && !m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

bool CRecorderDlg::OnInitDialog() {
    m_hRecordIcon = LoadIconResource(IDI_RECORD);
    m_hStopRecordingIcon = LoadIconResource(IDI_STOP_RECORDING);
    m_hPlayIcon = LoadIconResource(IDI_PLAY);
    m_hStopPlayingIcon = LoadIconResource(IDI_STOP_PLAYING);
    m_ui->okButton->setIcon(LoadIconResource(IDI_OK));
    m_ui->cancelButton->setIcon(LoadIconResource(IDI_CANCEL));
    m_ui->recordButton->setIcon(m_hRecordIcon);
    m_ui->playButton->setIcon(m_hPlayIcon);
    m_ui->removeHissButton->setIcon(LoadIconResource(IDI_REMOVE_HISS));
    m_ui->maximizeButton->setIcon(LoadIconResource(IDI_MAXIMIZE_VOLUME));
    m_ui->saveButton->setIcon(LoadIconResource(IDI_SAVE));
    SetCaption(m_ui->recordButton, kRecordCaption);
    SetCaption(m_ui->playButton, kPlayCaption);

    // Always-tip style: the tips show even while the recorder is not the active window.
    m_tips.Create(this, true);
    m_tips.AddTool(m_ui->recordButton, tipText(IDS_TIP_RECORD));
    m_tips.AddTool(m_ui->playButton, tipText(IDS_TIP_PLAY_RECORDING));
    m_tips.AddTool(m_ui->saveButton, tipText(IDS_TIP_SAVE_RECORDING));
    m_tips.AddTool(m_ui->removeHissButton, tipText(IDS_TIP_REMOVE_HISS));
    m_tips.AddTool(m_ui->maximizeButton, tipText(IDS_TIP_MAXIMIZE_VOLUME));
    m_tips.AddTool(m_ui->levelSlider, tipText(IDS_TIP_RECORDING_LEVEL));
    m_tips.AddTool(m_ui->okButton, tipText(IDS_TIP_CLOSE));
    m_tips.AddTool(m_ui->cancelButton, tipText(IDS_TIP_CANCEL));
    m_ui->levelSlider->setAccessibleName(m_ui->levelSlider->toolTip());
    m_ui->levelText->setAccessibleDescription(m_ui->levelLabel->text());

    const DWORD quality = m_context.settings->recordingQuality;
    const int radio = quality == 0   ? IDC_QUALITY_AVERAGE
                      : quality == 2 ? IDC_QUALITY_BEST
                                     : IDC_QUALITY_GOOD;
    if (auto* button = GetDlgItemAs<QRadioButton>(this, radio)) {
        button->setChecked(true);
    } else {
        AfxMessageBox("Unable to get dialog item for control " + std::to_string(radio), MB_OK);
    }

    m_bUnsaved = false;
    *m_context.notifyWindow = &m_notifyWindow;
    m_state = idle;

    // The bar's top is full level. Its value is the level itself, so that keys, wheel and
    // screen readers all speak of the level.
    m_level = m_context.faders ? static_cast<int>(m_context.faders->micFader.ReadVolume()) : 0;
    m_ui->levelSlider->setRange(0, static_cast<int>(MixerFaders::volumeScale));
    m_ui->levelSlider->setTickInterval(kTickFrequency);
    m_ui->levelSlider->setPageStep(kTickFrequency); // a fifth of the range, as track bars step
    m_ui->levelSlider->setValue(m_level);
    m_ui->levelText->setText(QString::number(m_ui->levelSlider->value()));
    // Only a move of the bar writes the fader: opening leaves it as it was.
    connect(m_ui->levelSlider, &QSlider::valueChanged, this,
            [this](int level) { OnLevelMoved(level); });
    return true;
}

void CRecorderDlg::OnLevelMoved(int level) {
    m_level = level;
    if (m_context.faders) {
        m_context.faders->micFader.ApplyVolume(static_cast<std::uint32_t>(level));
    }
    m_ui->levelText->setText(QString::number(level));
}

void CRecorderDlg::OnQuality(DWORD quality) {
    // The next recording uses it; it is stored with the other settings when the program ends.
    m_context.settings->recordingQuality = quality;
}

void CRecorderDlg::OnRecord() {
    CWaitCursor wait;
    if (m_state == idle) {
        StartRecording();
    } else if (m_state == recording) {
        StopRecording();
    }
}

void CRecorderDlg::StartRecording() {
    MoxRecorder& recorder = *m_context.recorder;
    recorder.Record();
    if (!recorder.IsRecording()) {
        // Nothing was recorded: the dialog stays as it was, usable.
        if (recorder.LastRecordError() == MCIERR_NO_INPUT_DEVICE) {
            AfxMessageBox(kNoMicrophone, MB_OK | MB_ICONSTOP);
        } else {
            AfxMessageBox(recorder.LastError(), MB_OK | MB_ICONSTOP);
        }
        return;
    }
    m_state = recording;
    m_ui->playButton->setEnabled(false);
    EnableProcessing(false);
    EnableQuality(false);
    m_ui->saveButton->setEnabled(m_bUnsaved);
    SetCaption(m_ui->recordButton, kStopRecordingCaption);
    m_ui->recordButton->setIcon(m_hStopRecordingIcon);
    m_tips.UpdateTipText(IDS_TIP_STOP_RECORDING, m_ui->recordButton);
}

void CRecorderDlg::StopRecording() {
    m_state = idle;
    m_context.recorder->Stop();
    m_ui->recordButton->setIcon(m_hRecordIcon);
    m_bUnsaved = true;
    m_ui->saveButton->setEnabled(true);
    m_ui->playButton->setEnabled(true);
    EnableProcessing(true);
    EnableQuality(true);
    SetCaption(m_ui->recordButton, kRecordCaption);
    m_tips.UpdateTipText(IDS_TIP_RECORD, m_ui->recordButton);
}

void CRecorderDlg::OnPlay() {
    CWaitCursor wait;
    if (m_state == idle) {
        StartPlaying();
    } else if (m_state == playing) {
        StopPlaying();
    }
}

void CRecorderDlg::StartPlaying() {
    MoxWavDevice& player = *m_context.wavDevice;
    if (!player.Play(m_context.recorder->GetFileName())) {
        const std::string reason = player.LastError();
        player.Stop(); // a play that failed may leave its device open
        AfxMessageBox("Unable to play the recorded announcement.\n" + reason, MB_OK | MB_ICONSTOP);
        return;
    }
    m_state = playing;
    m_ui->recordButton->setEnabled(false);
    EnableProcessing(false);
    m_ui->saveButton->setEnabled(m_bUnsaved);
    SetCaption(m_ui->playButton, kStopPlayingCaption);
    m_ui->playButton->setIcon(m_hStopPlayingIcon);
    m_tips.UpdateTipText(IDS_TIP_STOP_RECORDING_PLAYBACK, m_ui->playButton);
}

void CRecorderDlg::StopPlaying() {
    m_state = idle;
    m_context.wavDevice->Stop();
    m_ui->playButton->setIcon(m_hPlayIcon);
    m_ui->recordButton->setEnabled(true);
    EnableProcessing(true);
    m_ui->saveButton->setEnabled(m_bUnsaved);
    SetCaption(m_ui->playButton, kPlayCaption);
    m_tips.UpdateTipText(IDS_TIP_PLAY_RECORDING, m_ui->playButton);
}

void CRecorderDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != MM_MCINOTIFY || wParam != MCI_NOTIFY_SUCCESSFUL) {
        return;
    }
    // A device closed since the notice was posted belongs to a recording or playback that was
    // stopped meanwhile: its notice must not end the one that runs now.
    if (m_context.mci && !m_context.mci->IsDeviceOpen(static_cast<MCIDEVICEID>(lParam))) {
        return;
    }
    if (m_state == playing) {
        StopPlaying();
    } else if (m_state == recording) {
        StopRecording();
    }
}

void CRecorderDlg::OnRemoveHiss() {
    StartProcessing({.removeHiss = true}, kRemovingHiss);
}

void CRecorderDlg::OnMaximizeVolume() {
    StartProcessing({.maximise = true}, kMaximizing);
}

void CRecorderDlg::StartProcessing(const CleanSteps& steps, const char* doing) {
    if (m_state != idle || m_cleaner->IsRunning()) {
        return;
    }
    MoxRecorder& recorder = *m_context.recorder;
    RecordingCleaner::Job job{recorder.GetFilePath(), {}, steps, QString::fromUtf8(doing)};
    if (recorder.GetFileName() != MoxRecorder::kWorkingFileName) {
        // Play plays an announcement saved already: it stays as saved until the user saves
        // again, so the processing works on a copy in the working file.
        job.copyFrom = job.path;
        job.path = (std::filesystem::path(job.path).parent_path() / MoxRecorder::kWorkingFileName)
                       .string();
    }
    m_state = processing;
    EnableCommands(false);
    m_cleaner->Start(std::move(job));
}

void CRecorderDlg::OnProcessed(const RecordingCleaner::Job& job, const CleanResult& result) {
    using Outcome = CleanResult::Outcome;
    m_state = idle;
    if (result.outcome == Outcome::Done) {
        if (!job.copyFrom.empty()) {
            m_context.recorder->SetFileName(MoxRecorder::kWorkingFileName);
        }
        m_bUnsaved = true;
    }
    EnableCommands(true);
    if (m_closing || result.outcome == Outcome::Done || result.outcome == Outcome::Stopped) {
        return; // the sound tells, or the user stopped it
    }
    if (result.outcome == Outcome::Unchanged) {
        AfxMessageBox(result.message, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::string& file = job.copyFrom.empty() ? job.path : job.copyFrom;
    AfxMessageBox("Unable to process the file " + file + ".\n" + result.message,
                  MB_OK | MB_ICONSTOP);
}

std::string CRecorderDlg::WaveFolder() const {
    const std::string working = m_context.recorder->GetFilePath();
    if (!working.empty()) {
        return std::filesystem::path(working).parent_path().string();
    }
    std::string folder = LoadResourceString(IDS_WAVE_FOLDER);
    const auto found = FindPathNoCase(*m_context.dataFolder, folder);
    return found ? *found : *m_context.dataFolder + "/" + folder;
}

bool CRecorderDlg::OnSave() {
    if (!m_bUnsaved) {
        return false;
    }
    const QString pattern = QString::fromStdString(m_context.patterns->wav);
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::save;
    request.folder = QString::fromStdString(WaveFolder());
    request.filter = QStringLiteral("Quillon Wave Files (%1)").arg(pattern);
    request.defaultSuffix = pattern.mid(pattern.lastIndexOf(u'.') + 1);
    request.overwritePrompt = true;
    const std::optional<QString> chosen = RunFileDialog(this, request);
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    const std::string target = chosen->toStdString();
    const std::string working = m_context.recorder->GetFilePath();
    // Saved among the recordings, the file is what Play plays from now on. Saved elsewhere,
    // it is a copy: the wave player plays only from the wave folder.
    const bool amongRecordings = sameFolder(target, working);
    const CFileException::Cause failure =
        amongRecordings ? MoveFileOver(working, target) : CopyFileOver(working, target);
    if (failure != CFileException::none) {
        AfxMessageBox("Unable to save the file " + target +
                          ", reason: " + saveFailureReason(failure),
                      MB_OK | MB_ICONSTOP);
        return false;
    }
    // While a new recording runs the recorder must keep its working name, or it would save
    // the new recording over this one.
    if (amongRecordings && m_state != recording) {
        m_context.recorder->SetFileName(std::filesystem::path(target).filename().string());
    }
    m_bUnsaved = false;
    m_ui->saveButton->setEnabled(false);
    return true;
}

void CRecorderDlg::StopActivity() {
    if (m_state == recording) {
        StopRecording();
    } else if (m_state == playing) {
        StopPlaying();
    }
}

void CRecorderDlg::accept() {
    if (m_state == processing) {
        m_cleaner->Wait(false);
    }
    StopActivity();
    if (m_bUnsaved && AfxMessageBox(kAskToSave, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        OnSave();
    }
    QDialog::accept();
}

void CRecorderDlg::reject() {
    if (m_state == processing) {
        m_closing = true;
        m_cleaner->Wait(true);
        m_closing = false;
    }
    StopActivity();
    m_bUnsaved = false;
    QDialog::reject();
}

void CRecorderDlg::EnableProcessing(bool enable) {
    m_ui->removeHissButton->setEnabled(enable);
    m_ui->maximizeButton->setEnabled(enable);
}

void CRecorderDlg::keyPressEvent(QKeyEvent* event) {
    if (m_state == processing && event->matches(QKeySequence::Cancel)) {
        event->accept(); // Esc would cancel the dialog
        return;
    }
    QDialog::keyPressEvent(event);
}

void CRecorderDlg::closeEvent(QCloseEvent* event) {
    if (m_state == processing) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CRecorderDlg::EnableCommands(bool enable) {
    m_ui->recordButton->setEnabled(enable);
    m_ui->playButton->setEnabled(enable);
    m_ui->saveButton->setEnabled(enable && m_bUnsaved);
    EnableProcessing(enable);
    m_ui->okButton->setEnabled(enable);
    m_ui->cancelButton->setEnabled(enable);
}

void CRecorderDlg::EnableQuality(bool enable) {
    m_ui->averageRadio->setEnabled(enable);
    m_ui->goodRadio->setEnabled(enable);
    m_ui->bestRadio->setEnabled(enable);
}

void CRecorderDlg::SetCaption(QAbstractButton* button, const char* caption) {
    // The buttons show only their icons; the caption is what the button does now, kept where
    // a screen reader finds it next to the button's name (its tip).
    button->setAccessibleDescription(QString::fromUtf8(caption));
}
