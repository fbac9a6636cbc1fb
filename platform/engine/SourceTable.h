#pragma once

#include "platform/engine/Decoder.h"
#include "platform/engine/EngineSync.h"
#include "platform/engine/MixCore.h"
#include "platform/engine/SourceStream.h"
#include "platform/engine/Voice.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

/// The engine's sources and their voices: what the public source functions do, the refilling
/// of the rings (by the fast feeder, or by the feeder of slow media), and the notices the
/// notice thread reports.
///
/// A source's stream is decoded by whoever holds the source's lock: the opener (the first
/// block, before Open returns) and then its feeder. Its voice, the part the audio callback
/// sees, is replaced on a seek or a play after the end; a replaced or closed voice is freed
/// once the mixer has let go of it and no feeder holds it.
class SourceTable {
public:
    static constexpr std::size_t kFileRingFrames = 32768; // about 0.75 s at 44100 Hz
    /// MIDI knows its end only when it has rendered it: a longer ring tells the end earlier.
    static constexpr std::size_t kMidiRingFrames = 131072;
    static constexpr std::size_t kCdRingFrames = 131072; // about 3 s: a drive may spin up
    /// How long before its end a playing source reports that its end is near: time enough to
    /// open what follows, even from a disc, before the mixer reaches the end.
    static constexpr int kNearEndSeconds = 2;

    /// Which feeder refills a source: slow media (a disc) get a thread of their own, so that a
    /// read that stalls holds up nothing else.
    enum class Feed { Fast, Slow };

    struct Source {
        Bus bus = Bus::Wave;
        std::size_t ringFrames = kFileRingFrames;
        Feed feed = Feed::Fast;
        std::mutex mutex; // guards stream, and voice/baseFrame changes
        std::unique_ptr<SourceStream> stream;
        std::atomic<std::uint64_t> length{0}; // at the mixing rate, 0 when unknown
        // Written with both mutex and the engine's mutex held; read with either.
        std::shared_ptr<Voice> voice;
        std::uint64_t baseFrame = 0;
        // Engine mutex.
        EndHandler handler;
        NearEndHandler nearHandler;
        std::uint64_t playSerial = 0;
        std::uint64_t reportedSerial = 0;
        std::uint64_t nearReportedSerial = 0;
        std::optional<BusFader> cueFader; // what the cue's start gains stand for
        bool disarmed = false;            // a cue that will not start, to be reported
    };

    /// faderApplied: told on the notice thread that a cue started with its fader.
    SourceTable(EngineSync& sync, MixCore& core, int mixRate, FeedSignal& fastFeed,
                FeedSignal& slowFeed, std::function<void(Bus, BusFader)> faderApplied);

    /// Decodes the first block and attaches a voice; on failure id stays 0.
    EngineStatus Add(std::unique_ptr<Decoder> decoder, Bus bus, std::size_t ringFrames, Feed feed,
                     SourceId& id);
    /// after 0: at once. Otherwise cued after that source's last frame (SoundEngine::PlayAfter).
    EngineStatus Play(SourceId id, SourceId after, EndHandler onEnd, NearEndHandler onNearEnd,
                      std::uint64_t* playSerial);
    /// cut: a source that sounded was stopped.
    EngineStatus Stop(SourceId id, bool& cut);
    EngineStatus Seek(SourceId id, std::uint64_t frame);
    /// True when a source that sounded was closed.
    bool Close(SourceId id);
    bool IsOpen(SourceId id) const;
    bool IsPlaying(SourceId id) const;
    std::uint64_t Position(SourceId id) const;
    std::uint64_t Length(SourceId id) const;
    /// The fader the next source cued on the bus starts with (SoundEngine::SetBusFaderAtCue).
    void SetCueFader(Bus bus, BusFader fader);

    // Feeders.
    /// Engine mutex held: adds the sources of one feeder to snapshot.
    void CollectLocked(Feed feed, std::vector<std::shared_ptr<Source>>& snapshot);
    /// Engine mutex held: true when a source plays or waits on its cue.
    bool AnyPlayingLocked() const;
    /// Engine mutex held: forgets the voices the mixer has let go of (freed when no feeder
    /// still holds them).
    void ForgetDetachedLocked();
    /// Tops up the source's ring from its stream.
    void Refill(Source& source, std::vector<float>& scratch);

    /// Notice thread, engine mutex held: takes the next notice to report, if any.
    bool TakeNoticeLocked(PendingNotice& notice);
    /// The engine's end, once no callback can reach the core: frees every source and voice.
    void Clear();

private:
    std::shared_ptr<Source> Find(SourceId id) const;
    std::shared_ptr<Source> FindLocked(SourceId id) const;
    std::shared_ptr<Voice> NewVoice(const Source& source, std::uint64_t frame) const;
    int VoiceState(const Source& source) const;
    void Prefill(Source& source, Voice& voice, std::size_t frames);
    /// After a read that gave less than asked: a failure or the end of the stream marks the
    /// voice done, and its end is near once the last lead frames are reached.
    void NoteShortRead(Source& source, Voice& voice);
    std::uint64_t NearEndLead() const;
    EngineStatus ReplaceVoice(Source& source, std::uint64_t frame);
    /// Engine mutex held: cues that follow voice will not start; they are reported.
    void DisarmAfterLocked(const Voice& voice);

    EngineSync& m_sync;
    MixCore& m_core;
    const int m_mixRate;
    FeedSignal& m_fastFeed;
    FeedSignal& m_slowFeed;
    const std::function<void(Bus, BusFader)> m_faderApplied;
    // Engine mutex:
    std::map<SourceId, std::shared_ptr<Source>> m_sources;
    std::vector<std::shared_ptr<Voice>> m_voices; // every voice a slot may still hold
    std::array<std::optional<BusFader>, kBusCount> m_cueFaders;
};
