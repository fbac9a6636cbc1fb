#pragma once

#include "model/MoxPlayerObserver.h"
#include "platform/wintypes/WinTypes.h"
#include "ui/CTipCtrl.h"
#include "ui/DialogContext.h"
#include "ui/QtNotifyWindow.h"

#include <QDialog>
#include <QIcon>
#include <QPointer>

#include <memory>
#include <string>

class HelpWindow;
class MoxPlayList;
class QComboBox;
class QLabel;

namespace Ui {
class CLaunchPadDlg;
}

/// The program's main window: pick a play list and play or stop it; open the play list
/// editor, the recorder, the options, help and the about box; send the window to the taskbar.
/// At start-up it carries out two settings (send to the taskbar, play the preferred play
/// list); while it lives it receives the completion notices and hands them to the player.
///
/// States: idle (play icon; editor and recorder enabled; title "Quillon Launch Pad") and
/// playing (stop icon; editor and recorder disabled; title "Playing: " and the path).
///
/// It initialises itself when it is first shown (exec or show) and takes leave when its
/// modal run ends (exit button, Esc, window close): the player is stopped, g_hNotifyWnd
/// cleared and the list released, before the caller goes on to save the settings.
class CLaunchPadDlg final : public QDialog {
    Q_OBJECT
public:
    // Control identifiers.
    enum : int {
        IDOK_EXIT = 1,
        IDCANCEL_HIDDEN = 2,
        IDC_OPTIONS = 3,
        IDC_EDITOR = 1021,
        IDC_PLAY_STOP = 1037,
        IDC_RECORDER = 1044,
        IDC_PLAYLIST_COMBO = 1045,
        IDC_SEND_TO_TASKBAR = 1051,
        IDC_EDITOR_DESCRIPTION = 1053,
        IDC_RECORDER_DESCRIPTION = 1054,
        IDC_EDITOR_HEADING = 1055,
        IDC_RECORDER_HEADING = 1056,
        ID_HELP = 57670,
    };
    /// The command of the "About Quillon" menu entry.
    static constexpr unsigned IDM_ABOUTBOX = 16;

    /// Result codes of the play operations.
    enum : int { playOk = 0, playNothingDone = -1, playNoFile = -2, playNoList = -3 };

    explicit CLaunchPadDlg(const DialogContext& context, QWidget* parent = nullptr);
    ~CLaunchPadDlg() override;

    bool IsPlaying() const { return m_bPlaying; }
    /// The window that completion notices go to while the Launch Pad receives them.
    NotifyWindow* GetNotifyWindow() { return &m_notifyWindow; }
    /// The help window, while one is open.
    HelpWindow* GetHelpWindow() const;
    /// Why the last item that could not start was passed over ("missing.wav: The file was
    /// not found"); empty while none was, and again once playing stops.
    QString GetSkipReason() const;

    void setVisible(bool visible) override;
    void done(int result) override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool OnInitDialog();
    void OnDestroy();
    void OnSysCommand(unsigned id);
    void OnEditPlayLists();
    void OnRecordAnnouncements();
    void OnPlayStop();
    void OnSendToTaskbar();
    void OnOptions();
    void OnHelp();
    /// The Launch Pad's window procedure for posted messages: completion notices.
    void WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    /// Lists the play lists of the data folder, keeping the selection; returns how many.
    int FillPlayListCombo();
    /// Enables play/stop when the box lists play lists.
    void EnablePlayStop(int entries);
    int PlayChosenPlayList();
    /// Loads and plays the play list file at path (a bare name is looked for in the data
    /// folder). Raises CFileException or CArchiveException for a file it cannot read.
    int PlayPlayList(const std::string& path);
    void StopPlaying();
    void ShowPlayState(bool playing);
    /// Closes the devices of the volume faders found at start-up and deletes their copies.
    void ReleaseMixerFaders();
    /// The combo box entry that is chosen: the one whose text the edit field shows.
    int SelectedEntry() const;
    QComboBox* PlayListCombo() const;
    const std::string& DataFolder() const;

    DialogContext m_context;
    /// Shows the reason the player gave for an item it passed over, until playing stops.
    void ShowSkipReason(const QString& reason);

    /// Told by the player's worker which items started; hands the reasons of those that did
    /// not to the interface thread.
    class SkipReporter final : public MoxPlayerObserver {
    public:
        explicit SkipReporter(CLaunchPadDlg& dialog)
            : m_dialog(dialog) {}
        void OnItemPlayed(const MoxAudioItem& item, DWORD index, DWORD repetition,
                          bool started) override;

    private:
        CLaunchPadDlg& m_dialog;
    };

    std::unique_ptr<Ui::CLaunchPadDlg> m_ui;
    QIcon m_hIcon;
    std::unique_ptr<MoxPlayList> m_pPlayList;
    bool m_bPlaying = false;
    CTipCtrl m_tips;
    QIcon m_hStopIcon;
    QIcon m_hPlayIcon;
    QtNotifyWindow m_notifyWindow;
    SkipReporter m_skipReporter{*this};
    QLabel* m_skipReason = nullptr;
    QPointer<HelpWindow> m_helpWindow;
    bool m_initialised = false;
    bool m_destroyed = false;
};
