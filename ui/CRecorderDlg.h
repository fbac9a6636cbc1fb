#pragma once

#include "platform/wintypes/WinTypes.h"
#include "ui/CTipCtrl.h"
#include "ui/DialogContext.h"
#include "ui/QtNotifyWindow.h"
#include "ui/RecordingCleaner.h"

#include <QDialog>
#include <QIcon>

#include <memory>
#include <string>

class QAbstractButton;
class QCloseEvent;
class QKeyEvent;

namespace Ui {
class CRecorderDlg;
}

/// The announcement recorder: records from the microphone through the recorder, plays the
/// recording back through the shared wave player, sets the microphone level and the recording
/// quality, and saves the recording under a name of the user's choice.
///
/// States: idle, recording (the record button stops), playing (the play button stops) and
/// processing (Remove hiss or Maximize the volume runs on a worker thread; every command that
/// would touch the recording or close the dialog is off until it ends).
/// While it is open the completion notices come here: a successful one ends the recording or
/// the playback. Closing it in any way stops a recording, which is kept in the working file,
/// and silences a playback; OK then offers to save a recording not yet saved.
///
/// It initialises itself when it is first shown; the opener makes itself the notice window
/// again after the dialog's run.
class CRecorderDlg final : public QDialog {
    Q_OBJECT
public:
    // Control identifiers.
    enum : int {
        IDC_RECORD = 1035,
        IDC_PLAY = 1037,
        IDC_LEVEL = 1038,
        IDC_LEVEL_TEXT = 1039,
        IDC_SAVE = 1041,
        IDC_REMOVE_HISS = 1048,
        IDC_MAXIMIZE_VOLUME = 1049,
        IDC_QUALITY_AVERAGE = 1061,
        IDC_QUALITY_GOOD = 1062,
        IDC_QUALITY_BEST = 1063,
    };
    enum State { idle, recording, playing, processing };

    explicit CRecorderDlg(const DialogContext& context, QWidget* parent = nullptr);
    ~CRecorderDlg() override;

    State GetState() const { return m_state; }
    /// A recording was made and has not been saved yet.
    bool IsUnsaved() const { return m_bUnsaved; }
    /// The window that completion notices go to while the dialog is open.
    NotifyWindow* GetNotifyWindow() { return &m_notifyWindow; }

    void setVisible(bool visible) override;
    /// OK: stops what runs (waits for a processing to end) and offers to save a recording
    /// that is not saved yet.
    void accept() override;
    /// Cancel, Esc and the window's close button: stops what runs; never asks. Esc and the
    /// close button are refused while a processing runs; a reject() then (the program is
    /// told to end) stops the processing, waits for it and closes.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool OnInitDialog();
    void OnRecord();
    void OnPlay();
    /// Saves the recording under a name the user chooses; true when it was saved.
    bool OnSave();
    void OnRemoveHiss();
    void OnMaximizeVolume();
    /// Runs the steps over the recording that Play plays, off the interface thread.
    void StartProcessing(const CleanSteps& steps, const char* doing);
    void OnProcessed(const RecordingCleaner::Job& job, const CleanResult& result);
    void OnQuality(DWORD quality);
    void OnLevelMoved(int level);
    /// The dialog's window procedure for posted messages: completion notices.
    void WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    void StartRecording();
    void StopRecording();
    void StartPlaying();
    void StopPlaying();
    /// What closing does first: a recording is stopped and kept, a playback stopped.
    void StopActivity();
    void EnableProcessing(bool enable);
    /// Every command that touches the recording or closes the dialog.
    void EnableCommands(bool enable);
    void EnableQuality(bool enable);
    void SetCaption(QAbstractButton* button, const char* caption);
    /// Where the recordings are: the folder of the working file.
    std::string WaveFolder() const;

    DialogContext m_context;
    std::unique_ptr<Ui::CRecorderDlg> m_ui;
    State m_state = idle;
    bool m_bUnsaved = false;
    int m_level = 0;
    CTipCtrl m_tips;
    QIcon m_hRecordIcon;
    QIcon m_hStopRecordingIcon;
    QIcon m_hPlayIcon;
    QIcon m_hStopPlayingIcon;
    QtNotifyWindow m_notifyWindow;
    bool m_initialised = false;
    /// The dialog is being closed: what a stopped processing came to is not shown.
    bool m_closing = false;
    /// Last: it stops and joins its worker before the rest goes.
    std::unique_ptr<RecordingCleaner> m_cleaner;
};
