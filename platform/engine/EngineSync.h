#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/engine/Semaphore.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

/// What the engine's parts share: one lock over the bookkeeping of every source and capture,
/// the wake-ups of the feeder and notice threads, the play serials, and the end handler that
/// runs at the moment.
struct EngineSync {
    std::mutex mutex;
    Semaphore feederWake; ///< posted when the feeder has something to do
    Semaphore endWake;    ///< posted when a source or capture ended

    // Under mutex:
    std::condition_variable dispatchDone;
    SourceId dispatching = 0; ///< whose end handler runs now
    std::thread::id noticeThread;
    std::uint64_t lastSerial = 0;
    bool stopping = false;

    /// A new id for a source or capture; ids are never reused within a process.
    static SourceId NewId() {
        static std::atomic<SourceId> last{0};
        return ++last;
    }

    /// With mutex held through lock: returns once no end handler of id runs, unless called
    /// from inside that handler (it would wait for itself).
    void WaitForHandler(std::unique_lock<std::mutex>& lock, SourceId id) {
        if (std::this_thread::get_id() != noticeThread) {
            dispatchDone.wait(lock, [&] { return dispatching != id; });
        }
    }
};

/// An end that the notice thread is about to report.
struct PendingEnd {
    SourceId id = 0;
    EndHandler handler;
    EndReason reason = EndReason::Finished;
    std::uint64_t serial = 0;
};
