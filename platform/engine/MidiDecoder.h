#pragma once

#include "platform/engine/Decoder.h"
#include "platform/engine/EngineTypes.h"
#include "platform/engine/FluidHandles.h"
#include "platform/engine/SynthPool.h"

#include <memory>
#include <vector>

/// Renders a MIDI file with FluidSynth (no FluidSynth audio driver: the engine pulls the
/// samples). The player's clock is the rendered sample count, so the music advances exactly as
/// fast as the engine consumes it.
///
/// The end is decided here, not by the player (which reports "playing" for seconds after the
/// last event): once the last event has been played, rendering goes on while the last notes
/// die away, and stops when no voice sounds, the output has fallen below -80 dBFS, or
/// kMaxTailSeconds have passed.
class MidiDecoder final : public Decoder {
public:
    static constexpr double kMaxTailSeconds = 1.0;

    /// Reads and checks the file, takes a synthesizer from the pool and starts the player.
    static std::unique_ptr<MidiDecoder> Open(const std::string& path, const std::string& soundFont,
                                             SynthPool& pool, EngineStatus& status);
    ~MidiDecoder() override;

    int SampleRate() const override { return m_rate; }
    long Read(float* stereo, long frames) override;
    /// Only the start (frame 0) can be sought.
    bool Seek(std::uint64_t frame) override;
    std::uint64_t LengthFrames() const override { return 0; }
    const std::string& Error() const override { return m_error; }

private:
    MidiDecoder() = default;
    bool Start();

    SynthPool* m_pool = nullptr;
    std::unique_ptr<LoadedSynth> m_synth;
    FluidPlayerPtr m_player; // after m_synth: destroyed first
    std::vector<std::uint8_t> m_smf;
    int m_rate = 0;
    bool m_musicOver = false;
    long m_tailFrames = 0;
    int m_quietBlocks = 0;
    bool m_ended = false;
    std::string m_error;
};
