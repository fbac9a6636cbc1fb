#include "ui/QtLaunchPad.h"

#include "ui/CLaunchPadDlg.h"

#include <utility>

QtLaunchPad::QtLaunchPad(DialogContext context)
    : m_context(std::move(context)) {}

QtLaunchPad::~QtLaunchPad() = default;

int QtLaunchPad::RunModal() {
    m_dialog = std::make_unique<CLaunchPadDlg>(m_context);
    return m_dialog->exec();
}

void QtLaunchPad::Destroy() {
    m_dialog.reset();
}
