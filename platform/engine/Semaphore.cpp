#include "platform/engine/Semaphore.h"

#include <cerrno>
#include <ctime>

Semaphore::Semaphore() {
    sem_init(&m_sem, 0, 0);
}

Semaphore::~Semaphore() {
    sem_destroy(&m_sem);
}

void Semaphore::Post() {
    sem_post(&m_sem);
}

bool Semaphore::WaitFor(std::chrono::milliseconds timeout) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    long long ns = deadline.tv_nsec + static_cast<long long>(timeout.count()) * 1000000LL;
    deadline.tv_sec += static_cast<time_t>(ns / 1000000000LL);
    deadline.tv_nsec = static_cast<long>(ns % 1000000000LL);
    while (sem_clockwait(&m_sem, CLOCK_MONOTONIC, &deadline) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}
