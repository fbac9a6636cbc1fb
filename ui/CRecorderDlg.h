#pragma once

#include "platform/wintypes/WinTypes.h"
#include "ui/CTipCtrl.h"
#include "ui/DialogContext.h"
#include "ui/QtNotifyWindow.h"

#include <QDialog>
#include <QIcon>

#include <memory>
#include <string>

class QAbstractButton;

namespace Ui {
class CRecorderDlg;
}

/// The announcement recorder: records from the microphone through the recorder, plays the
/// recording back through the shared wave player, sets the microphone level and the recording
/// quality, and saves the recording under a name of the user's choice.
///
/// States: idle, recording (the record button stops) and playing (the play button stops).
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
    enum State { idle, recording, playing };

    explicit CRecorderDlg(const DialogContext& context, QWidget* parent = nullptr);
    ~CRecorderDlg() override;

    State GetState() const { return m_state; }
    /// A recording was made and has not been saved yet.
    bool IsUnsaved() const { return m_bUnsaved; }
    /// The window that completion notices go to while the dialog is open.
    NotifyWindow* GetNotifyWindow() { return &m_notifyWindow; }

    void setVisible(bool visible) override;
    /// OK: stops what runs and offers to save a recording that is not saved yet.
    void accept() override;
    /// Cancel, Esc and the window's close button: stops what runs; never asks.
    void reject() override;

private:
    bool OnInitDialog();
    void OnRecord();
    void OnPlay();
    /// Saves the recording under a name the user chooses; true when it was saved.
    bool OnSave();
    void OnRemoveHiss();
    void OnMaximizeVolume();
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
};
