#include "ui/QtNotifyWindow.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessage final : public QEvent {
public:
    PostedMessage(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(kPostedMessage)
        , m_message(message)
        , m_wParam(wParam)
        , m_lParam(lParam) {}

    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

} // namespace

QtNotifyWindow::QtNotifyWindow(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler)) {}

QtNotifyWindow::~QtNotifyWindow() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
}

void QtNotifyWindow::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(m_mutex);
    if (!m_closed) {
        // postEvent is safe from any thread and takes the event over.
        QCoreApplication::postEvent(this, new PostedMessage(message, wParam, lParam));
    }
}

void QtNotifyWindow::customEvent(QEvent* event) {
    if (event->type() != kPostedMessage) {
        QObject::customEvent(event);
        return;
    }
    const auto* posted = static_cast<PostedMessage*>(event);
    if (m_handler) {
        m_handler(posted->m_message, posted->m_wParam, posted->m_lParam);
    }
}
