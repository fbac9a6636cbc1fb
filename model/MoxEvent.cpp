#include "model/MoxEvent.h"

void MoxEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
    }
    m_changed.notify_one();
}

void MoxEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

bool MoxEvent::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_signalled; });
    m_signalled = false;
    return true;
}

bool MoxEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, timeout, [this] { return m_signalled; })) {
        return false;
    }
    m_signalled = false;
    return true;
}
