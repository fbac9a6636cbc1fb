#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/engine/FrameRing.h"
#include "platform/engine/Semaphore.h"

#include <atomic>
#include <cstdint>
#include <limits>

/// Wakes the thread that refills a group of rings (the fast feeder, or the one for slow media).
/// The audio callback requests; the thread clears the request when it wakes, so that a ring
/// that stays low asks again.
struct FeedSignal {
    Semaphore wake;
    std::atomic<bool> requested{false};

    /// Real-time safe: posts once until cleared.
    void Request() {
        if (!requested.exchange(true, std::memory_order_acq_rel)) {
            wake.Post();
        }
    }
    void Clear() { requested.store(false, std::memory_order_release); }
};

/// The part of a source that the audio callback sees: its ring of ready frames and a few
/// atomics. Everything else about a source stays on the engine's side.
///
/// State machine (state):
///   Stopped --Play--> Playing --Stop--> Stopped
///   Stopped --PlayAfter--> Cued --(callback: the voice it follows ended)--> Playing
///   Cued --(Stop or Close of the voice it follows, or of itself)--> Stopped
///   Playing --(callback: producer done and ring drained)--> Ended
/// The callback moves Playing to Ended and Cued to Playing; the engine moves the others, and
/// Cued to Playing too when the voice followed ended before the cue was in place (whoever
/// swaps the state first starts it). A voice that is replaced (seek) or closed gets
/// removeRequested; the callback then drops it from its slot, after which the engine may free
/// it.
struct Voice {
    enum State : int { kStopped = 0, kPlaying = 1, kEnded = 2, kCued = 3 };
    static constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

    Voice(std::size_t ringFrames, Bus voiceBus, FeedSignal& feedSignal)
        : ring(ringFrames)
        , bus(voiceBus)
        , feed(feedSignal) {}
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    FrameRing ring;
    const Bus bus;
    FeedSignal& feed; ///< who refills the ring
    std::atomic<int> state{kStopped};
    std::atomic<bool> producerDone{false}; ///< the last frame is in the ring
    std::atomic<bool> failed{false};       ///< ... and reading failed before the real end
    std::atomic<bool> removeRequested{false};
    std::atomic<std::uint64_t> framesPlayed{0}; ///< written by the callback only
    /// False from a start by Play until the ring holds a period (or the voice's end): the
    /// callback then starts mixing it, so that a refill that comes late delays the start
    /// instead of breaking the sound up. A cue's ring is full long before it starts.
    std::atomic<bool> primed{true};

    /// Cued: the voice whose last frame this one follows. Only compared, never followed: the
    /// engine disarms a cue before the voice it names can go.
    std::atomic<const Voice*> after{nullptr};
    /// Written by the engine before it publishes kCued: the bus gains from the first frame of
    /// this voice on (a cued item's volume), when hasStartGain.
    bool hasStartGain = false;
    float startGain[2] = {1.0f, 1.0f};
    /// Set by whoever started the cue, so that the notice thread reports the gain in effect.
    std::atomic<bool> startedOnCue{false};

    /// Frames into the voice after which its end is near (kUnknown until known): the engine
    /// sets it from the length, or when the producer is done.
    std::atomic<std::uint64_t> nearEndAt{kUnknown};
    std::atomic<bool> nearEndPassed{false}; ///< set by the callback

    int slot = -1; ///< engine side: the mixer slot it occupies
};
