#pragma once

#include "platform/wintypes/NotifyWindow.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

/// A window for a program without windows: posted messages queue up and a thread of the
/// window's own hands them, one at a time and in order, to the handler.
class QueueWindow final : public NotifyWindow {
public:
    using Handler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit QueueWindow(Handler handler);
    /// Hands out what is queued, then ends the thread.
    ~QueueWindow() override;
    QueueWindow(const QueueWindow&) = delete;
    QueueWindow& operator=(const QueueWindow&) = delete;

    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    void dispatch();

    Handler m_handler;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<Message> m_queue;
    bool m_closing = false;
    std::thread m_thread;
};
