#include "platform/engine/MixCore.h"

#include <algorithm>
#include <cstring>

// What one call of Mix gathers as it goes; on the callback's stack.
struct MixCore::Period {
    float* out;
    std::size_t frames;
    std::array<Ending, kMaxVoices> endings;
    std::size_t endingCount = 0;
    bool notice = false;
};

MixCore::MixCore(Semaphore& noticeWake)
    : m_noticeWake(noticeWake) {
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

void MixCore::MixVoice(Voice& voice, Period& period, std::size_t from) {
    // Read "done" before draining: frames written before it was set are then all visible.
    const bool done = voice.producerDone.load(std::memory_order_acquire);
    const auto& gains = m_gains[static_cast<std::size_t>(voice.bus)];
    const std::size_t want = period.frames - from;
    if (!voice.primed.load(std::memory_order_relaxed)) {
        if (!done && voice.ring.Readable() < std::min(want, voice.ring.Capacity() / 2)) {
            voice.feed.Request();
            return;
        }
        voice.primed.store(true, std::memory_order_relaxed);
    }
    const std::size_t mixed =
        voice.ring.MixInto(period.out + from * 2, want, gains[0].load(std::memory_order_relaxed),
                           gains[1].load(std::memory_order_relaxed));
    const std::uint64_t played = voice.framesPlayed.load(std::memory_order_relaxed) + mixed;
    voice.framesPlayed.store(played, std::memory_order_relaxed);
    if (!voice.nearEndPassed.load(std::memory_order_relaxed) &&
        played >= voice.nearEndAt.load(std::memory_order_acquire)) {
        voice.nearEndPassed.store(true, std::memory_order_release);
        period.notice = true;
    }
    const std::size_t left = voice.ring.Readable();
    if (done && left == 0) {
        // Sequentially consistent with the engine's cueing: either the engine sees this end and
        // starts its cue itself, or StartCued below sees the cue.
        int playing = Voice::kPlaying;
        if (voice.state.compare_exchange_strong(playing, Voice::kEnded)) {
            period.notice = true;
            period.endings[period.endingCount++] = {&voice, from + mixed};
        }
    } else if (!done) {
        if (mixed < want) {
            m_underruns.fetch_add(1, std::memory_order_relaxed);
        }
        // Ask for more once a ring is below half: the feeder then tops it up completely.
        if (left < voice.ring.Capacity() / 2) {
            voice.feed.Request();
        }
    }
}

void MixCore::StartCued(const Ending& ending, Period& period) {
    for (auto& slot : m_slots) {
        Voice* voice = slot.load(std::memory_order_acquire);
        if (voice == nullptr || voice->removeRequested.load(std::memory_order_acquire) ||
            voice->state.load() != Voice::kCued || voice->after.load() != ending.voice) {
            continue;
        }
        int cued = Voice::kCued;
        if (!voice->state.compare_exchange_strong(cued, Voice::kPlaying)) {
            continue; // the engine disarmed it, or started it itself
        }
        if (voice->hasStartGain) {
            auto& gains = m_gains[static_cast<std::size_t>(voice->bus)];
            gains[0].store(voice->startGain[0], std::memory_order_relaxed);
            gains[1].store(voice->startGain[1], std::memory_order_relaxed);
        }
        voice->startedOnCue.store(true, std::memory_order_release);
        period.notice = true;
        MixVoice(*voice, period, ending.at);
    }
}

void MixCore::Mix(float* out, std::size_t frames) {
    Silence(out, frames);
    m_callbacks.fetch_add(1, std::memory_order_relaxed);
    Period period{out, frames, {}};
    for (auto& slot : m_slots) {
        Voice* voice = slot.load(std::memory_order_acquire);
        if (voice == nullptr) {
            continue;
        }
        if (voice->removeRequested.load(std::memory_order_acquire)) {
            slot.store(nullptr, std::memory_order_release);
            continue;
        }
        if (voice->state.load(std::memory_order_acquire) == Voice::kPlaying) {
            MixVoice(*voice, period, 0);
        }
    }
    // Each voice ends once, so this runs at most once per slot; endings grow as cues end.
    for (std::size_t i = 0; i < period.endingCount; ++i) {
        StartCued(period.endings[i], period);
    }
    for (std::size_t i = 0; i < frames * 2; ++i) {
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
    }
    if (period.notice) {
        m_noticeWake.Post();
    }
}
