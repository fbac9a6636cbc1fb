#include "ui/QtLaunchPad.h"

#include "ui/CLaunchPadDlg.h"

QtLaunchPad::QtLaunchPad() = default;

QtLaunchPad::~QtLaunchPad() = default;

int QtLaunchPad::RunModal() {
    m_dialog = std::make_unique<CLaunchPadDlg>();
    return m_dialog->exec();
}

void QtLaunchPad::Destroy() {
    m_dialog.reset();
}
