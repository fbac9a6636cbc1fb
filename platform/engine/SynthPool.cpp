#include "platform/engine/SynthPool.h"

#include <sys/stat.h>

#include <algorithm>

namespace {
bool ReadIdentity(const std::string& path, FontFileIdentity& identity) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modifiedNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}
} // namespace

SynthPool::SynthPool(int sampleRate, double gain)
    : m_sampleRate(sampleRate)
    , m_gain(gain) {}

SynthPool::~SynthPool() = default;

std::unique_ptr<LoadedSynth> SynthPool::Load(const std::string& soundFont, EngineStatus& status,
                                             bool selectPresets) {
    FontFileIdentity identity;
    if (!ReadIdentity(soundFont, identity)) {
        status =
            EngineStatus::Fail(EngineError::NoSoundFont,
                               soundFont.empty() ? "No SoundFont is configured"
                                                 : "The SoundFont " + soundFont + " was not found");
        return nullptr;
    }
    auto loaded = std::make_unique<LoadedSynth>();
    loaded->soundFont = soundFont;
    loaded->identity = identity;
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
    // Sample data is read when a preset is selected (a program change) and dropped when no
    // channel uses it any more: a General MIDI font of 150 MB costs a few MB per piece instead
    // of all of it for as long as the engine lives. Samples are read on the thread that
    // renders, the feeder, never the audio callback; and not locked into memory.
    fluid_settings_setint(s, "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(s, "synth.lock-memory", 0);
    loaded->synth.reset(new_fluid_synth(s));
    if (!loaded->synth) {
        status = EngineStatus::Fail(EngineError::NoSoundFont, "The synthesizer cannot be created");
        return nullptr;
    }
    // Selecting the presets reads the samples of the instruments every channel starts with.
    if (fluid_synth_sfload(loaded->synth.get(), soundFont.c_str(), selectPresets ? 1 : 0) ==
        FLUID_FAILED) {
        status = EngineStatus::Fail(EngineError::NoSoundFont,
                                    "The SoundFont " + soundFont + " does not load");
        return nullptr;
    }
    status = EngineStatus::Ok();
    return loaded;
}

std::unique_ptr<LoadedSynth> SynthPool::Acquire(const std::string& soundFont,
                                                EngineStatus& status) {
    {
        std::lock_guard lock(m_mutex);
        if (std::unique_ptr<LoadedSynth> synth = TakeIdle(soundFont)) {
            status = EngineStatus::Ok();
            return synth;
        }
    }
    return Load(soundFont, status, true);
}

std::unique_ptr<LoadedSynth> SynthPool::TakeIdle(const std::string& soundFont) {
    FontFileIdentity now;
    const bool present = ReadIdentity(soundFont, now);
    std::unique_ptr<LoadedSynth> taken;
    for (auto it = m_idle.begin(); it != m_idle.end();) {
        if ((*it)->soundFont != soundFont) {
            ++it;
        } else if (!present || (*it)->identity != now) {
            it = m_idle.erase(it);
        } else if (!taken) {
            taken = std::move(*it);
            it = m_idle.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
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
    {
        std::lock_guard lock(m_mutex);
        if (std::unique_ptr<LoadedSynth> synth = TakeIdle(soundFont)) {
            m_idle.push_back(std::move(synth));
            return EngineStatus::Ok();
        }
    }
    // Loaded to prove the font works, then dropped: a play list without MIDI items should not
    // carry a synthesizer (and the samples of its default presets) for weeks.
    EngineStatus status;
    Load(soundFont, status, false);
    return status;
}
