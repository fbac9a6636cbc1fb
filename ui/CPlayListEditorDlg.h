#pragma once

#include "model/MoxLock.h"
#include "platform/wintypes/WinTypes.h"
#include "ui/CTipCtrl.h"
#include "ui/DialogContext.h"
#include "ui/FileDialog.h"
#include "ui/QtNotifyWindow.h"

#include <QDialog>
#include <QIcon>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class CAudioItemListCtrl;
class CPlayListCtrl;
class MoxAudioItem;
class MoxPlayList;
class QPushButton;
class QTreeWidgetItem;

/// One available item: its row in the list of available items, its kind's image index and
/// its text (a file name, or "Track " and the track number).
struct CAudioItemEntry {
    int index = 0;
    int image = 0;
    std::string text;
};

/// The play list editor: builds a play list from the wave and MIDI files and CD tracks this
/// PC can play, with a volume and a loop count per row; auditions the list or one row; loads
/// and saves play list files. While it is open it receives the completion notices.
///
/// The rows are plain display rows: audio items are made from them only to save, to audition
/// or to play one row, each time into a fresh play list. Buttons are switched in fixed groups
/// by each command, never recomputed from the whole state.
///
/// It initialises itself when it is first shown and takes leave when its run ends: the
/// audition and a single row are stopped then, and the notices go back to whoever had them.
class CPlayListEditorDlg final : public QDialog {
    Q_OBJECT
public:
    // Control identifiers.
    enum : int {
        IDC_OK = 1,
        IDC_CANCEL = 2,
        IDC_LOAD = 1007,
        IDC_SAVE = 1008,
        IDC_CLEAR = 1009,
        IDC_ADD = 1012,
        IDC_REMOVE = 1013,
        IDC_UP = 1017,
        IDC_DOWN = 1018,
        IDC_PLAYLIST = 1022,
        IDC_AVAILABLE = 1023,
        IDC_AUDITION = 1028,
        IDC_PLAY_ITEM = 1052,
    };

    explicit CPlayListEditorDlg(const DialogContext& context, QWidget* parent = nullptr);
    ~CPlayListEditorDlg() override;

    /// Whether OK asks to save.
    bool IsModified() const { return m_modified; }
    bool IsItemPlaying() const { return m_itemPlaying; }
    /// The window that completion notices go to while the editor is open.
    NotifyWindow* GetNotifyWindow() { return &m_notifyWindow; }
    CAudioItemListCtrl* AvailableList() const { return m_available; }
    CPlayListCtrl* PlayListView() const { return m_playList; }

    void setVisible(bool visible) override;
    void done(int result) override;

private:
    bool OnInitDialog();
    void OnDestroy();
    void CreateControls();
    void FillAvailableItems();
    /// Lists one available item.
    void AddEntry(const std::string& name, int image);

    void OnAdd();
    void OnAvailableDoubleClick(QTreeWidgetItem* item);
    void OnRemove();
    void OnUp();
    void OnDown();
    void OnClear();
    void OnLoad();
    void OnSave();
    void OnAudition();
    void OnPlayItem();
    void OnPlayListDoubleClick(QTreeWidgetItem* item);
    void OnOK();
    /// The editor's window procedure for posted messages: completion notices.
    void WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    /// Adds a row for an available item at the end of the play list; AddRow's result.
    bool AddAvailableRow(int entry);
    /// A new row's volume: where the kind's fader is now.
    int DefaultVolume(LONG kind) const;
    /// Asks before emptying a play list that has rows; the answer (IDYES when empty).
    int ClearPlayList();
    /// Asks for a file and loads it into EditorPlayList. False when nothing was loaded.
    bool LoadPlayList();
    void ShowPlayList();
    /// Asks for a file name and saves the rows there. False only when a file error was
    /// reported; a cancelled file dialog counts as done.
    bool SavePlayList();
    /// Makes items of the rows whose player is ready into EditorPlayList; how many.
    int BuildPlayList(int rows);
    /// An item of the row's kind on its player, or null when that player is not ready or
    /// the image is unknown. Raises std::bad_alloc.
    std::unique_ptr<MoxAudioItem> CreateItem(int image, const std::string& text) const;
    void StartAudition();
    void StopAudition();
    bool StartItem();
    void StopItem();
    /// The Play item button back to play, the single-play group enabled.
    void ShowItemStopped();

    void EnableGroup(const std::vector<int>& ids, bool enable);
    QPushButton* Button(int id) const;
    /// The file dialog's request for a play list file to open or save.
    FileDialogRequest PlayListFileRequest(FileDialogRequest::Mode mode) const;
    /// Replaces EditorPlayList with a new, empty list, stopping the player first. False, with
    /// the message shown, when there is no memory for it.
    bool NewEditorPlayList(const char* noMemoryMessage);

    DialogContext m_context;
    // The command buttons and the two lists, by identifier.
    std::vector<QPushButton*> m_buttons;
    CAudioItemListCtrl* m_available = nullptr;
    CPlayListCtrl* m_playList = nullptr;
    QString m_baseTitle;
    bool m_modified = false;
    std::unique_ptr<MoxPlayList> m_editorPlayList;
    MoxLock m_auditionLock;
    CTipCtrl m_tips;
    QIcon m_hStopListIcon;
    QIcon m_hStopItemIcon;
    QIcon m_hPlayItemIcon;
    QIcon m_hAuditionIcon;
    bool m_itemPlaying = false;
    bool m_itemsFound = false;
    std::unique_ptr<MoxAudioItem> m_singleItem;
    MoxLock m_itemLock;
    std::vector<CAudioItemEntry> m_entries;
    QtNotifyWindow m_notifyWindow;
    /// Who had the notices before the editor opened; they go back there when it closes.
    HWND m_previousNotifyWindow = nullptr;
    bool m_initialised = false;
    bool m_destroyed = false;
};
