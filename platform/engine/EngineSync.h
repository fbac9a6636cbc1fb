#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/engine/Semaphore.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

/// What the engine's parts share: one lock over the bookkeeping of every source and capture,
/// the wake-up of the notice thread, the play serials, and the handler that runs at the
/// moment. (The feeders have their wake-ups in the FeedSignals.)
struct EngineSync {
    std::mutex mutex;
    Semaphore noticeWake; ///< posted when something is to be reported

    // Under mutex:
    std::condition_variable dispatchDone;
    SourceId dispatching = 0; ///< whose handler runs now
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

/// What the notice thread is about to report: an end, a near end, a cue that started with its
/// fader, for the source or capture id. Runs without the engine's mutex.
struct PendingNotice {
    SourceId id = 0;
    std::function<void()> report;
};
