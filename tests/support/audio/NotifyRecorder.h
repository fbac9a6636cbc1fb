#pragma once

#include "platform/wintypes/NotifyWindow.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace testaudio {

/// A window that keeps every message posted to it, with the time it arrived, and lets a test
/// wait for them. Thread-safe.
class NotifyRecorder final : public NotifyWindow {
public:
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::chrono::steady_clock::time_point when;
    };

    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    /// Waits until at least count messages arrived; false on timeout.
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout);
    std::vector<Message> Messages() const;
    std::size_t Count() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Message> m_messages;
};

} // namespace testaudio
