#include "platform/engine/SynthPool.h"

#include <sys/stat.h>

#include <algorithm>

SynthPool::SynthPool(int sampleRate, double gain)
    : m_sampleRate(sampleRate)
    , m_gain(gain) {}

SynthPool::~SynthPool() = default;

std::unique_ptr<LoadedSynth> SynthPool::Load(const std::string& soundFont, EngineStatus& status) {
    struct stat st {};
    if (soundFont.empty() || ::stat(soundFont.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        status = EngineStatus::Fail(EngineError::NoSoundFont,
                                    soundFont.empty() ? "No SoundFont is configured"
                                                      : "The SoundFont file was not found");
        return nullptr;
    }
    auto loaded = std::make_unique<LoadedSynth>();
    loaded->soundFont = soundFont;
    loaded->settings.reset(new_fluid_settings());
    if (!loaded->settings) {
        status = EngineStatus::Fail(EngineError::NoSoundFont, "The synthesizer cannot be created");
        return nullptr;
    }
    fluid_settings_t* s = loaded->settings.get();
    fluid_settings_setnum(s, "synth.sample-rate", m_sampleRate);
    fluid_settings_setnum(s, "synth.gain", m_gain);
    // Only the thread holding the source's lock ever touches it.
    fluid_settings_setint(s, "synth.threadsafe-api", 0);
    loaded->synth.reset(new_fluid_synth(s));
    if (!loaded->synth) {
        status = EngineStatus::Fail(EngineError::NoSoundFont, "The synthesizer cannot be created");
        return nullptr;
    }
    if (fluid_synth_sfload(loaded->synth.get(), soundFont.c_str(), 1) == FLUID_FAILED) {
        status = EngineStatus::Fail(EngineError::NoSoundFont, "The SoundFont does not load");
        return nullptr;
    }
    status = EngineStatus::Ok();
    return loaded;
}

std::unique_ptr<LoadedSynth> SynthPool::Acquire(const std::string& soundFont,
                                                EngineStatus& status) {
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_idle.begin(), m_idle.end(),
                               [&](const auto& s) { return s->soundFont == soundFont; });
        if (it != m_idle.end()) {
            std::unique_ptr<LoadedSynth> synth = std::move(*it);
            m_idle.erase(it);
            status = EngineStatus::Ok();
            return synth;
        }
    }
    return Load(soundFont, status);
}

void SynthPool::Release(std::unique_ptr<LoadedSynth> synth) {
    if (!synth) {
        return;
    }
    fluid_synth_system_reset(synth->synth.get());
    std::lock_guard lock(m_mutex);
    auto same = std::count_if(m_idle.begin(), m_idle.end(),
                              [&](const auto& s) { return s->soundFont == synth->soundFont; });
    if (static_cast<std::size_t>(same) < kMaxIdle) {
        m_idle.push_back(std::move(synth));
    }
}

EngineStatus SynthPool::Probe(const std::string& soundFont) {
    EngineStatus status;
    std::unique_ptr<LoadedSynth> synth = Acquire(soundFont, status);
    if (synth) {
        Release(std::move(synth));
    }
    return status;
}
