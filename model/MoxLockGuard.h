#pragma once

class MoxLock;

/// Enters a MoxLock for the guard's lifetime.
class MoxLockGuard {
public:
    explicit MoxLockGuard(MoxLock& lock);
    ~MoxLockGuard();
    MoxLockGuard(const MoxLockGuard&) = delete;
    MoxLockGuard& operator=(const MoxLockGuard&) = delete;

private:
    MoxLock& m_lock;
};
