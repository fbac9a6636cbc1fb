#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/engine/FrameRing.h"

#include <atomic>
#include <cstdint>

/// The part of a source that the audio callback sees: its ring of ready frames and a few
/// atomics. Everything else about a source stays on the engine's side.
///
/// State machine (state):
///   Stopped --Play--> Playing --Stop--> Stopped
///   Playing --(callback: producer done and ring drained)--> Ended
/// Only the callback moves Playing to Ended; only the engine moves the others. A voice that
/// is replaced (seek) or closed gets removeRequested; the callback then drops it from its slot,
/// after which the engine may free it.
struct Voice {
    enum State : int { kStopped = 0, kPlaying = 1, kEnded = 2 };

    Voice(std::size_t ringFrames, Bus voiceBus)
        : ring(ringFrames)
        , bus(voiceBus) {}
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    FrameRing ring;
    const Bus bus;
    std::atomic<int> state{kStopped};
    std::atomic<bool> producerDone{false}; ///< the last frame is in the ring
    std::atomic<bool> failed{false};       ///< ... and reading failed before the real end
    std::atomic<bool> removeRequested{false};
    std::atomic<std::uint64_t> framesPlayed{0}; ///< written by the callback only
    int slot = -1;                              ///< engine side: the mixer slot it occupies
};
