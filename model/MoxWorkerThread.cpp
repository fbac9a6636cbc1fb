#include "model/MoxWorkerThread.h"

#include <system_error>

MoxWorkerThread::~MoxWorkerThread() {
    // The derived destructor has shut the thread down; this only catches a derived class that
    // forgot, since a running std::thread must not be destroyed.
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void MoxWorkerThread::SignalStarted() {
    m_started.Set();
}

bool MoxWorkerThread::CreateWorkerThread() {
    try {
        m_thread = std::thread([this] {
            OnThreadStart();
            Run();
        });
    } catch (const std::system_error&) {
        return false; // out of threads: the owner works without a worker
    }
    m_started.Wait();
    return true;
}

void MoxWorkerThread::Shutdown() {
    std::int32_t expected = 0;
    if (!m_terminate.compare_exchange_strong(expected, 1)) {
        return;
    }
    Wake();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
