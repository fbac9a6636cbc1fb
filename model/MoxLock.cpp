#include "model/MoxLock.h"

void MoxLock::Enter() {
    m_mutex.lock();
    if (m_depth++ == 0) {
        m_entered.store(true, std::memory_order_release);
    }
}

void MoxLock::Leave() {
    if (--m_depth == 0) {
        m_entered.store(false, std::memory_order_release);
    }
    m_mutex.unlock();
}
