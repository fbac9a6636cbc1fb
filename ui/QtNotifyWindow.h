#pragma once

#include "platform/wintypes/NotifyWindow.h"

#include <QObject>

#include <functional>
#include <mutex>

/// A dialog's window handle for posted messages: PostMessage, from any thread, queues a Qt
/// event; the handler runs on the thread the object lives in (the interface thread), one
/// message at a time, in the order they were posted. Messages still queued when the object
/// goes are dropped.
///
/// A dialog owns one and makes g_hNotifyWnd name it while the dialog is the one that
/// receives completion notices. Before the object goes, nothing may still post to it: the
/// dialog stops the players whose notices it receives and clears g_hNotifyWnd first.
class QtNotifyWindow final : public QObject, public NotifyWindow {
    Q_OBJECT
public:
    using Handler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit QtNotifyWindow(Handler handler, QObject* parent = nullptr);
    /// Waits for a PostMessage in progress; later posts and queued messages are dropped.
    ~QtNotifyWindow() override;
    QtNotifyWindow(const QtNotifyWindow&) = delete;
    QtNotifyWindow& operator=(const QtNotifyWindow&) = delete;

    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void customEvent(QEvent* event) override;

private:
    Handler m_handler;
    std::mutex m_mutex; // closing against posting
    bool m_closed = false;
};
