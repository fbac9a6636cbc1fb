#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/engine/FluidHandles.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/// Which file a path named when it was read: samples are read from it later, on demand, so a
/// synthesizer is only reused while the path still names the same, unchanged file.
struct FontFileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FontFileIdentity&) const = default;
};

/// A FluidSynth synthesizer with one SoundFont loaded.
struct LoadedSynth {
    std::string soundFont;
    FontFileIdentity identity;
    FluidSettingsPtr settings;
    FluidSynthPtr synth;
};

/// Keeps synthesizers with their SoundFont loaded between items: loading a General MIDI font
/// takes tens of milliseconds to seconds, so it happens once per engine and font, not per item.
/// One synthesizer serves one MIDI source at a time; a second concurrent source gets a second
/// one (loaded then). Thread-safe. The gain is FluidSynth's "synth.gain" (the engine's
/// default: SoundEngine::kDefaultSynthGain).
class SynthPool {
public:
    /// Idle synthesizers kept per SoundFont.
    static constexpr std::size_t kMaxIdle = 2;

    SynthPool(int sampleRate, double gain);
    ~SynthPool();
    SynthPool(const SynthPool&) = delete;
    SynthPool& operator=(const SynthPool&) = delete;

    /// A synthesizer with the font loaded, from the idle ones or freshly made.
    std::unique_ptr<LoadedSynth> Acquire(const std::string& soundFont, EngineStatus& status);
    /// Gives a synthesizer back (reset to its power-on state).
    void Release(std::unique_ptr<LoadedSynth> synth);
    /// Ok when a synthesizer with this font is idle or can be loaded; keeps none it loads.
    EngineStatus Probe(const std::string& soundFont);

private:
    std::unique_ptr<LoadedSynth> Load(const std::string& soundFont, EngineStatus& status,
                                      bool selectPresets);
    /// Takes an idle synthesizer of the font out of the pool when the font is unchanged; drops
    /// those whose font was removed or replaced since. Called with m_mutex held.
    std::unique_ptr<LoadedSynth> TakeIdle(const std::string& soundFont);

    int m_sampleRate;
    double m_gain;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<LoadedSynth>> m_idle;
};
