#include "ui/CTipCtrl.h"

#include "res/StringTable.h"

#include <QAbstractButton>
#include <QWidget>

void CTipCtrl::Create(QWidget* owner, bool alwaysTip) {
    owner->setAttribute(Qt::WA_AlwaysShowToolTips, alwaysTip);
}

bool CTipCtrl::AddTool(QWidget* control, const QString& text) {
    if (control == nullptr) {
        return false;
    }
    UpdateTipText(text, control);
    return true;
}

void CTipCtrl::UpdateTipText(unsigned stringId, QWidget* control) {
    UpdateTipText(QString::fromStdString(LoadResourceString(stringId)), control);
}

void CTipCtrl::UpdateTipText(const QString& text, QWidget* control) {
    if (control == nullptr) {
        return;
    }
    control->setToolTip(text);
    // A button that shows only a picture says what it does through its tip.
    if (const auto* button = qobject_cast<QAbstractButton*>(control);
        button != nullptr && button->text().isEmpty()) {
        control->setAccessibleName(text);
    }
}
