#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/engine/Semaphore.h"
#include "platform/engine/Voice.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

/// The real-time half of the engine: a fixed array of voice slots and the bus gains, mixed by
/// the audio callback. Mix() never blocks, allocates, logs or takes a lock; it talks to the
/// engine's threads only through atomics and by posting semaphores.
///
/// Slots: the engine stores a voice into an empty slot (Attach); only the mixing side empties
/// a slot, when it sees removeRequested (or the engine through ReapWhileIdle when no callback
/// can run). So a voice may be freed once IsDetached says its slot no longer holds it.
class MixCore {
public:
    static constexpr int kMaxVoices = 32;

    /// feederWake is posted when a ring runs low, endWake when a voice ended.
    MixCore(Semaphore& feederWake, Semaphore& endWake);

    // Engine side (callers serialise among themselves).
    bool Attach(Voice& voice);
    void RequestDetach(Voice& voice);
    bool IsDetached(const Voice& voice) const;
    /// Empties the slots of voices waiting for removal; only while no callback mixes.
    void ReapWhileIdle();
    void SetBusGain(Bus bus, float left, float right);
    float BusGain(Bus bus, int channel) const;
    /// Cleared by the feeder when it wakes, so that the callback posts again next time.
    void ClearFeedRequest() { m_feedRequested.store(false, std::memory_order_release); }

    /// The callback: mixes every playing voice into out (interleaved stereo, frames frames).
    void Mix(float* out, std::size_t frames);
    /// Fills out with silence (for callbacks that must not mix).
    static void Silence(float* out, std::size_t frames);

    std::uint64_t Callbacks() const { return m_callbacks.load(std::memory_order_relaxed); }
    std::uint64_t Underruns() const { return m_underruns.load(std::memory_order_relaxed); }

private:
    Semaphore& m_feederWake;
    Semaphore& m_endWake;
    std::array<std::atomic<Voice*>, kMaxVoices> m_slots{};
    std::array<std::array<std::atomic<float>, 2>, kBusCount> m_gains{};
    std::atomic<bool> m_feedRequested{false};
    std::atomic<std::uint64_t> m_callbacks{0};
    std::atomic<std::uint64_t> m_underruns{0};
};
