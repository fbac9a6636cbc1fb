#pragma once

#include <QPushButton>

/// The dialogs' push button. Its picture is an icon (setIcon with LoadIconResource), its tip
/// comes from the dialog's CTipCtrl; it adds nothing of its own.
class CPlainButton : public QPushButton {
    Q_OBJECT
public:
    explicit CPlainButton(QWidget* parent = nullptr);
};
