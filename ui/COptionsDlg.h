#pragma once

#include "platform/wintypes/WinTypes.h"
#include "ui/CTipCtrl.h"
#include "ui/DialogContext.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;

/// The Options dialog: start at login, send the Launch Pad to the taskbar after starting, the
/// play list to play at start-up, and the recording quality.
///
/// It works on copies of the settings, taken when it is first shown; when it ends (OK or
/// Cancel alike) it reads its controls back into the copies, and the five accessors hand them
/// out. Taking them over, after OK only, is the caller's business.
class COptionsDlg final : public QDialog {
    Q_OBJECT
public:
    // Control identifiers.
    enum : int {
        IDOK_CLOSE = 1,
        IDCANCEL_OPTIONS = 2,
        IDC_PLAYLIST_COMBO = 1045,
        IDC_START_WITH_WINDOWS = 1059,
        IDC_QUALITY_AVERAGE = 1061,
        IDC_QUALITY_GOOD = 1062,
        IDC_QUALITY_BEST = 1063,
        IDC_PLAY_AT_STARTUP = 1064,
        IDC_SEND_TO_TASKBAR = 1066,
    };

    /// Uses the context's data folder, play list pattern and settings (read, never written).
    explicit COptionsDlg(const DialogContext& context, QWidget* parent = nullptr);

    DWORD GetPlayDefaultPlayList() const { return m_bPlayDefaultPlayList; }
    DWORD GetSendToTaskbar() const { return m_bSendToTaskbar; }
    DWORD GetStartWithWindows() const { return m_bStartWithWindows; }
    DWORD GetRecordingQuality() const { return m_nRecordingQuality; }
    const std::string& GetDefaultPlayList() const { return m_strDefaultPlayList; }

    void setVisible(bool visible) override;
    void done(int result) override;

private:
    bool OnInitDialog();
    void OnDestroy();
    void OnQuality(DWORD quality);
    void OnPlayAtStartup();
    void OnStartWithWindows();

    DialogContext m_context;
    QCheckBox* m_sendToTaskbarBox;
    QComboBox* m_playListBox;
    QCheckBox* m_startWithWindowsBox;
    QCheckBox* m_playAtStartupBox;
    QRadioButton* m_averageButton;
    QRadioButton* m_goodButton;
    QRadioButton* m_bestButton;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
    DWORD m_bSendToTaskbar = 0;
    CTipCtrl m_tips;
    std::string m_strDefaultPlayList;
    DWORD m_bStartWithWindows = 0;
    DWORD m_bPlayDefaultPlayList = 0;
    DWORD m_nRecordingQuality = 0;
    bool m_initialised = false;
    bool m_destroyed = false;
};
