#include "ui/DialogControls.h"

#include <QVariant>
#include <QWidget>

void SetControlId(QWidget* control, int id) {
    control->setProperty(kControlIdProperty, id);
}

int GetControlId(const QWidget* control) {
    return control->property(kControlIdProperty).toInt();
}

QWidget* GetDlgItem(const QWidget* dialog, int id) {
    const auto children = dialog->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (GetControlId(child) == id) {
            return child;
        }
    }
    return nullptr;
}
