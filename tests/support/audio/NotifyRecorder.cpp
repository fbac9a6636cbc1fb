#include "tests/support/audio/NotifyRecorder.h"

namespace testaudio {

void NotifyRecorder::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back({message, wParam, lParam, std::chrono::steady_clock::now()});
    }
    m_changed.notify_all();
}

bool NotifyRecorder::WaitForCount(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_messages.size() >= count; });
}

std::vector<NotifyRecorder::Message> NotifyRecorder::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::size_t NotifyRecorder::Count() const {
    std::lock_guard lock(m_mutex);
    return m_messages.size();
}

} // namespace testaudio
