#pragma once

#include "model/MoxEvent.h"

#include <atomic>
#include <cstdint>
#include <thread>

/// A worker thread owned by an object: the thread runs the object's Run and ends when asked
/// through Shutdown.
class MoxWorkerThread {
public:
    virtual ~MoxWorkerThread();
    MoxWorkerThread(const MoxWorkerThread&) = delete;
    MoxWorkerThread& operator=(const MoxWorkerThread&) = delete;

    /// Wakes the thread so that it notices a request (here: to end).
    virtual void Wake() = 0;
    virtual void OnThreadStart() = 0;
    /// The thread's body; returns when the terminate counter asks it to.
    virtual void Run() = 0;
    /// Run calls this once it runs: releases CreateWorkerThread.
    virtual void SignalStarted();

    /// Asks the thread to end and waits until it has. Does nothing the second time.
    void Shutdown();
    bool IsThreadRunning() const { return m_thread.joinable(); }

protected:
    MoxWorkerThread() = default;

    /// Starts the thread and waits until Run has signalled that it runs. False when the
    /// thread could not be created; the object then has no worker.
    bool CreateWorkerThread();

    /// Non-zero asks the thread to end.
    std::atomic<std::int32_t> m_terminate{0};

private:
    MoxEvent m_started;
    std::thread m_thread;
};
