#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

/// Sets how many times one play list row is played in a row. The editor hands it the row's
/// loop count text and writes back GetLoopText() however the dialog ended: the text changes
/// only on Apply and OK.
///
/// The edit box takes digits only: any other text would make a row that silently never plays.
/// The arrows beside it step the number within 0..100, the up arrow down and the down arrow
/// up, and so do the Up and Down keys in the edit box; each press enables Apply.
class CAudioItemPropertiesDlg final : public QDialog {
    Q_OBJECT
public:
    enum : int {
        IDC_OK = 1,
        IDC_CLOSE = 2,
        IDC_LOOP_COUNT = 1025,
        IDC_SPIN = 1026,
        IDC_APPLY = 1027,
    };
    static constexpr int spinLowest = 0;
    static constexpr int spinHighest = 100;

    explicit CAudioItemPropertiesDlg(QWidget* parent = nullptr);

    /// Before running: the text the edit box shows.
    void SetLoopText(const QString& text) { m_loopText = text; }
    /// After running: the text of the last Apply or OK, or the text given.
    QString GetLoopText() const { return m_loopText; }

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// An arrow was pressed: delta -1 for the up arrow, +1 for the down arrow.
    void OnDeltaPos(int delta);
    void OnApply();
    void OnOK();

    QLineEdit* m_edit;
    QPushButton* m_apply;
    QString m_loopText;
    bool m_initialised = false;
};
