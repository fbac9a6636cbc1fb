#include "app/QueueWindow.h"

QueueWindow::QueueWindow(Handler handler)
    : m_handler(std::move(handler))
    , m_thread([this] { dispatch(); }) {}

QueueWindow::~QueueWindow() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_posted.notify_one();
    m_thread.join();
}

void QueueWindow::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({message, wParam, lParam});
    }
    m_posted.notify_one();
}

void QueueWindow::dispatch() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_posted.wait(lock, [this] { return m_closing || !m_queue.empty(); });
        if (m_queue.empty()) {
            return; // closing, and everything handed out
        }
        const Message next = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        m_handler(next.message, next.wParam, next.lParam);
        lock.lock();
    }
}
