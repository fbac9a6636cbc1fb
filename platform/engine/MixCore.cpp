#include "platform/engine/MixCore.h"

#include <algorithm>
#include <cstring>

MixCore::MixCore(Semaphore& feederWake, Semaphore& endWake)
    : m_feederWake(feederWake)
    , m_endWake(endWake) {
    for (auto& slot : m_slots) {
        slot.store(nullptr, std::memory_order_relaxed);
    }
    for (auto& bus : m_gains) {
        bus[0].store(1.0f, std::memory_order_relaxed);
        bus[1].store(1.0f, std::memory_order_relaxed);
    }
}

bool MixCore::Attach(Voice& voice) {
    for (int i = 0; i < kMaxVoices; ++i) {
        if (m_slots[static_cast<std::size_t>(i)].load(std::memory_order_acquire) == nullptr) {
            voice.slot = i;
            m_slots[static_cast<std::size_t>(i)].store(&voice, std::memory_order_release);
            return true;
        }
    }
    return false;
}

void MixCore::RequestDetach(Voice& voice) {
    voice.removeRequested.store(true, std::memory_order_release);
}

bool MixCore::IsDetached(const Voice& voice) const {
    return voice.slot < 0 ||
           m_slots[static_cast<std::size_t>(voice.slot)].load(std::memory_order_acquire) != &voice;
}

void MixCore::ReapWhileIdle() {
    for (auto& slot : m_slots) {
        Voice* voice = slot.load(std::memory_order_acquire);
        if (voice != nullptr && voice->removeRequested.load(std::memory_order_acquire)) {
            slot.store(nullptr, std::memory_order_release);
        }
    }
}

void MixCore::SetBusGain(Bus bus, float left, float right) {
    auto& gains = m_gains[static_cast<std::size_t>(bus)];
    gains[0].store(left, std::memory_order_relaxed);
    gains[1].store(right, std::memory_order_relaxed);
}

float MixCore::BusGain(Bus bus, int channel) const {
    return m_gains[static_cast<std::size_t>(bus)][channel == 0 ? 0 : 1].load(
        std::memory_order_relaxed);
}

void MixCore::Silence(float* out, std::size_t frames) {
    std::memset(out, 0, frames * 2 * sizeof(float));
}

void MixCore::Mix(float* out, std::size_t frames) {
    Silence(out, frames);
    m_callbacks.fetch_add(1, std::memory_order_relaxed);
    bool feed = false;
    bool ended = false;
    // Ask for more once a ring is below half: the feeder then tops it up completely.
    for (auto& slot : m_slots) {
        Voice* voice = slot.load(std::memory_order_acquire);
        if (voice == nullptr) {
            continue;
        }
        if (voice->removeRequested.load(std::memory_order_acquire)) {
            slot.store(nullptr, std::memory_order_release);
            continue;
        }
        if (voice->state.load(std::memory_order_acquire) != Voice::kPlaying) {
            continue;
        }
        // Read "done" before draining: frames written before it was set are then all visible.
        bool done = voice->producerDone.load(std::memory_order_acquire);
        const auto& gains = m_gains[static_cast<std::size_t>(voice->bus)];
        std::size_t mixed =
            voice->ring.MixInto(out, frames, gains[0].load(std::memory_order_relaxed),
                                gains[1].load(std::memory_order_relaxed));
        voice->framesPlayed.store(voice->framesPlayed.load(std::memory_order_relaxed) + mixed,
                                  std::memory_order_relaxed);
        std::size_t left = voice->ring.Readable();
        if (done && left == 0) {
            int playing = Voice::kPlaying;
            if (voice->state.compare_exchange_strong(playing, Voice::kEnded,
                                                     std::memory_order_acq_rel)) {
                ended = true;
            }
        } else if (!done) {
            if (mixed < frames) {
                m_underruns.fetch_add(1, std::memory_order_relaxed);
            }
            if (left < voice->ring.Capacity() / 2) {
                feed = true;
            }
        }
    }
    for (std::size_t i = 0; i < frames * 2; ++i) {
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
    }
    if (ended) {
        m_endWake.Post();
    }
    if (feed && !m_feedRequested.exchange(true, std::memory_order_acq_rel)) {
        m_feederWake.Post();
    }
}
