#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

/// An auto-reset event: Set wakes one waiter, or the next one to wait, and the event falls back
/// to not signalled as that waiter passes. Created not signalled.
class MoxEvent {
public:
    MoxEvent() = default;
    MoxEvent(const MoxEvent&) = delete;
    MoxEvent& operator=(const MoxEvent&) = delete;

    void Set();
    /// Back to not signalled without waking anyone.
    void Reset();
    /// Waits without time limit; returns true when the event was taken.
    bool Wait();
    /// Waits at most timeout; false when it passed without the event.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled = false;
};
