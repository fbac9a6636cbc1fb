#include "ui/CPlainButton.h"

CPlainButton::CPlainButton(QWidget* parent)
    : QPushButton(parent) {}
