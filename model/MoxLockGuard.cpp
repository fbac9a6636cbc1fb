#include "model/MoxLockGuard.h"

#include "model/MoxLock.h"

MoxLockGuard::MoxLockGuard(MoxLock& lock)
    : m_lock(lock) {
    m_lock.Enter();
}

MoxLockGuard::~MoxLockGuard() {
    m_lock.Leave();
}
