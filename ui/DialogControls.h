#pragma once

#include <QWidget>

// Every control of a dialog carries the identifier the program has always used for it, so
// that handlers, later dialogs and tests find it by that number.

/// The dynamic property that holds a control's identifier.
inline constexpr const char* kControlIdProperty = "controlId";

void SetControlId(QWidget* control, int id);
/// The control's identifier, 0 when it has none.
int GetControlId(const QWidget* control);
/// The first control below dialog with that identifier, or null.
QWidget* GetDlgItem(const QWidget* dialog, int id);

/// GetDlgItem cast to the control's class; null when there is none of that class.
template <typename T>
T* GetDlgItemAs(const QWidget* dialog, int id) {
    return qobject_cast<T*>(GetDlgItem(dialog, id));
}
