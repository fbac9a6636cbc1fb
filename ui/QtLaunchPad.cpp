#include "ui/QtLaunchPad.h"

#include "ui/CLaunchPadDlg.h"

#include <QApplication>
#include <QTimer>

#include <utility>

QtLaunchPad::QtLaunchPad(DialogContext context)
    : m_context(std::move(context)) {}

QtLaunchPad::~QtLaunchPad() = default;

int QtLaunchPad::RunModal() {
    m_dialog = std::make_unique<CLaunchPadDlg>(m_context);
    if (m_endRequested) {
        QTimer::singleShot(0, &m_steps, [this] { endStep(); });
    }
    return m_dialog->exec();
}

void QtLaunchPad::EndAsExitButton() {
    if (m_endRequested) {
        return; // on its way already (logout sends SIGTERM and SIGHUP)
    }
    m_endRequested = true;
    endStep();
}

void QtLaunchPad::endStep() {
    // A menu open above the dialogs runs a loop of its own, which would keep them waiting.
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    }
    QWidget* top = QApplication::activeModalWidget();
    if (top != nullptr && top != m_dialog.get()) {
        if (top == m_rejected) {
            top->hide(); // refused to close when rejected; hiding ends its modal run
        } else if (auto* dialog = qobject_cast<QDialog*>(top)) {
            dialog->reject();
        } else {
            top->close();
        }
        m_rejected = top;
        // The next step runs in the event loop below, once this dialog's modal run returned.
        QTimer::singleShot(0, &m_steps, [this] { endStep(); });
        return;
    }
    if (m_dialog && !m_ending) {
        m_ending = true;
        m_dialog->accept(); // the exit button's command
    }
}

void QtLaunchPad::Destroy() {
    m_dialog.reset();
}
