#pragma once

#include <atomic>
#include <mutex>

/// A lock that one thread may enter again while it holds it, with a flag that tells whether it
/// is entered at all. Play lists, the media players and the editor guard their state with it.
class MoxLock {
public:
    MoxLock() = default;
    MoxLock(const MoxLock&) = delete;
    MoxLock& operator=(const MoxLock&) = delete;

    void Enter();
    void Leave();
    /// True while some thread holds the lock.
    bool IsEntered() const { return m_entered.load(std::memory_order_acquire); }

private:
    std::recursive_mutex m_mutex;
    int m_depth = 0; // guarded by m_mutex
    std::atomic<bool> m_entered{false};
};
