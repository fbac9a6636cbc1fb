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
/// Chaining: when a playing voice's last frame is mixed, a voice cued after it starts on the
/// very next frame, inside the same period, and takes its start gains on its bus from that
/// frame on (the frames of the ending voice keep the gains they were mixed with). A cued voice
/// that ends within the period starts the one cued after it, and so on.
///
/// Slots: the engine stores a voice into an empty slot (Attach); only the mixing side empties
/// a slot, when it sees removeRequested (or the engine through ReapWhileIdle when no callback
/// can run). So a voice may be freed once IsDetached says its slot no longer holds it.
class MixCore {
public:
    static constexpr int kMaxVoices = 32;

    /// noticeWake is posted when a voice ended, passed its near end, or started on its cue
    /// (a voice's own FeedSignal when its ring runs low).
    explicit MixCore(Semaphore& noticeWake);

    // Engine side (callers serialise among themselves).
    bool Attach(Voice& voice);
    void RequestDetach(Voice& voice);
    bool IsDetached(const Voice& voice) const;
    /// Empties the slots of voices waiting for removal; only while no callback mixes.
    void ReapWhileIdle();
    void SetBusGain(Bus bus, float left, float right);
    float BusGain(Bus bus, int channel) const;

    /// The callback: mixes every playing voice into out (interleaved stereo, frames frames).
    void Mix(float* out, std::size_t frames);
    /// Fills out with silence (for callbacks that must not mix).
    static void Silence(float* out, std::size_t frames);

    std::uint64_t Callbacks() const { return m_callbacks.load(std::memory_order_relaxed); }
    std::uint64_t Underruns() const { return m_underruns.load(std::memory_order_relaxed); }

private:
    /// A voice that ended at a frame of the period being mixed: its cue starts there.
    struct Ending {
        const Voice* voice;
        std::size_t at;
    };
    struct Period;

    /// Mixes a playing voice into frames [from, frames) of the period.
    void MixVoice(Voice& voice, Period& period, std::size_t from);
    /// Starts and mixes the voices cued after one that ended at a frame of the period.
    void StartCued(const Ending& ending, Period& period);

    Semaphore& m_noticeWake;
    std::array<std::atomic<Voice*>, kMaxVoices> m_slots{};
    std::array<std::array<std::atomic<float>, 2>, kBusCount> m_gains{};
    std::atomic<std::uint64_t> m_callbacks{0};
    std::atomic<std::uint64_t> m_underruns{0};
};
