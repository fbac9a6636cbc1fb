#include "ui/QtMessageBoxHandler.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

#include <vector>

namespace {

QMessageBox::Icon iconOf(UINT type) {
    switch (type & 0xF0) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

/// Lifts the wait cursors of a long command while the user reads a message, and puts them
/// back afterwards.
class ArrowCursorWhileShown {
public:
    ArrowCursorWhileShown() {
        while (const QCursor* cursor = QApplication::overrideCursor()) {
            m_saved.push_back(*cursor);
            QApplication::restoreOverrideCursor();
        }
    }
    ~ArrowCursorWhileShown() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            QApplication::setOverrideCursor(*it);
        }
    }
    ArrowCursorWhileShown(const ArrowCursorWhileShown&) = delete;
    ArrowCursorWhileShown& operator=(const ArrowCursorWhileShown&) = delete;

private:
    std::vector<QCursor> m_saved;
};

} // namespace

int QtMessageBoxHandler::Show(const std::string& text, UINT type) {
    const bool question = (type & 0x0F) == MB_YESNO;
    QMessageBox box(iconOf(type), QStringLiteral("Quillon"), QString::fromStdString(text),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("QuillonMessageBox"));
    ArrowCursorWhileShown arrow;
    const int answer = box.exec();
    if (!question) {
        return IDOK;
    }
    return answer == QMessageBox::Yes ? IDYES : IDNO;
}
