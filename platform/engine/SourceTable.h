#pragma once

#include "platform/engine/Decoder.h"
#include "platform/engine/EngineSync.h"
#include "platform/engine/MixCore.h"
#include "platform/engine/SourceStream.h"
#include "platform/engine/Voice.h"

#include <map>
#include <memory>
#include <vector>

/// The engine's sources and their voices: what the public source functions do, the feeder's
/// refilling of the rings, and the ends the notice thread reports.
///
/// A source's stream is decoded by whoever holds the source's lock: the opener (the first
/// block, before Open returns) and then the feeder thread. Its voice, the part the audio
/// callback sees, is replaced on a seek or a play after the end; a replaced or closed voice is
/// freed once the mixer has let go of it.
class SourceTable {
public:
    static constexpr std::size_t kFileRingFrames = 32768; // about 0.75 s at 44100 Hz
    static constexpr std::size_t kCdRingFrames = 131072;  // about 3 s: a drive may spin up

    struct Source {
        Bus bus = Bus::Wave;
        std::size_t ringFrames = kFileRingFrames;
        std::mutex mutex; // guards stream, and voice/baseFrame changes
        std::unique_ptr<SourceStream> stream;
        // Written with both mutex and the engine's mutex held; read with either.
        Voice* voice = nullptr;
        std::uint64_t baseFrame = 0;
        // Engine mutex.
        EndHandler handler;
        std::uint64_t playSerial = 0;
        std::uint64_t reportedSerial = 0;
    };

    SourceTable(EngineSync& sync, MixCore& core, int mixRate);

    /// Decodes the first block and attaches a voice; on failure id stays 0.
    EngineStatus Add(std::unique_ptr<Decoder> decoder, Bus bus, std::size_t ringFrames,
                     SourceId& id);
    EngineStatus Play(SourceId id, EndHandler onEnd, std::uint64_t* playSerial);
    EngineStatus Stop(SourceId id);
    EngineStatus Seek(SourceId id, std::uint64_t frame);
    void Close(SourceId id);
    bool IsOpen(SourceId id) const;
    bool IsPlaying(SourceId id) const;
    std::uint64_t Position(SourceId id) const;
    std::uint64_t Length(SourceId id) const;

    // Feeder thread.
    /// Adds every source to snapshot and forgets voices the mixer has let go of; engine mutex
    /// held. True when a source plays.
    bool CollectLocked(std::vector<std::shared_ptr<Source>>& snapshot);
    /// Tops up the source's ring from its stream.
    static void Refill(Source& source, std::vector<float>& scratch);

    /// Notice thread, engine mutex held: takes the next end to report, if any.
    bool TakeEndLocked(PendingEnd& end);
    /// The engine's end, once no callback can reach the core: frees every source and voice.
    void Clear();

private:
    std::shared_ptr<Source> Find(SourceId id) const;
    std::shared_ptr<Source> FindLocked(SourceId id) const;
    static void Prefill(Source& source, Voice& voice, std::size_t frames);
    EngineStatus ReplaceVoice(Source& source, std::uint64_t frame);

    EngineSync& m_sync;
    MixCore& m_core;
    const int m_mixRate;
    // Engine mutex:
    std::map<SourceId, std::shared_ptr<Source>> m_sources;
    std::vector<std::unique_ptr<Voice>> m_voices; // every voice a slot may still hold
};
