#pragma once

#include <QString>

class QWidget;

/// The tool tips of one dialog. Tips show only while the dialog is the active window unless
/// it was created with alwaysTip.
class CTipCtrl {
public:
    /// owner: the dialog whose controls get tips.
    void Create(QWidget* owner, bool alwaysTip = false);
    /// Gives control its tip. Icon-only buttons are also named by it for screen readers.
    bool AddTool(QWidget* control, const QString& text);
    /// Changes a control's tip to string resource stringId.
    void UpdateTipText(unsigned stringId, QWidget* control);
    void UpdateTipText(const QString& text, QWidget* control);
};
