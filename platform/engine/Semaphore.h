#pragma once

#include <semaphore.h>

#include <chrono>

/// A counting POSIX semaphore. Post is async-signal-safe and never blocks, which makes it the
/// one way the audio callback may wake another thread.
class Semaphore {
public:
    Semaphore();
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    void Post();
    /// Waits until posted or the timeout passes; true when it was posted.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    sem_t m_sem;
};
