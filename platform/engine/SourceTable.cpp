#include "platform/engine/SourceTable.h"

#include "platform/engine/FaderCurve.h"

#include <algorithm>
#include <utility>

namespace {
constexpr std::size_t kPrefillFrames = 4096;
constexpr std::size_t kChunkFrames = 8192;
} // namespace

SourceTable::SourceTable(EngineSync& sync, MixCore& core, int mixRate, FeedSignal& fastFeed,
                         FeedSignal& slowFeed, std::function<void(Bus, BusFader)> faderApplied)
    : m_sync(sync)
    , m_core(core)
    , m_mixRate(mixRate)
    , m_fastFeed(fastFeed)
    , m_slowFeed(slowFeed)
    , m_faderApplied(std::move(faderApplied)) {}

std::shared_ptr<SourceTable::Source> SourceTable::Find(SourceId id) const {
    auto it = m_sources.find(id);
    return it == m_sources.end() ? nullptr : it->second;
}

// For callers not holding the mutex: the source stays alive with the pointer, whatever is
// closed meanwhile.
std::shared_ptr<SourceTable::Source> SourceTable::FindLocked(SourceId id) const {
    std::lock_guard lock(m_sync.mutex);
    return Find(id);
}

int SourceTable::VoiceState(const Source& source) const {
    std::lock_guard lock(m_sync.mutex);
    return source.voice->state.load();
}

std::shared_ptr<Voice> SourceTable::NewVoice(const Source& source, std::uint64_t frame) const {
    auto voice = std::make_shared<Voice>(source.ringFrames, source.bus,
                                         source.feed == Feed::Slow ? m_slowFeed : m_fastFeed);
    const std::uint64_t length = source.length.load();
    if (length > 0) {
        const std::uint64_t left = length > frame ? length - frame : 0;
        const std::uint64_t lead = NearEndLead();
        voice->nearEndAt = left > lead ? left - lead : 0;
        // A play shorter than the lead is near its end before it starts: what follows it can
        // be cued while it waits on its own cue.
        voice->nearEndPassed = voice->nearEndAt == 0;
    }
    return voice;
}

std::uint64_t SourceTable::NearEndLead() const {
    return static_cast<std::uint64_t>(kNearEndSeconds) * static_cast<std::uint64_t>(m_mixRate);
}

void SourceTable::NoteShortRead(Source& source, Voice& voice) {
    if (source.stream->Failed()) {
        voice.failed.store(true, std::memory_order_release);
    } else if (!source.stream->AtEnd()) {
        return;
    }
    const std::uint64_t total = voice.ring.Written();
    const std::uint64_t lead = NearEndLead();
    const std::uint64_t at = total > lead ? total - lead : 0;
    voice.nearEndAt.store(std::min(voice.nearEndAt.load(), at), std::memory_order_release);
    voice.producerDone.store(true, std::memory_order_release);
    if (at == 0 && !voice.nearEndPassed.exchange(true)) {
        m_sync.noticeWake.Post();
    }
}

void SourceTable::Prefill(Source& source, Voice& voice, std::size_t frames) {
    std::vector<float> buffer(frames * 2);
    std::size_t got = source.stream->Pull(buffer.data(), frames);
    voice.ring.Write(buffer.data(), got);
    if (got < frames) {
        NoteShortRead(source, voice);
    }
}

EngineStatus SourceTable::Add(std::unique_ptr<Decoder> decoder, Bus bus, std::size_t ringFrames,
                              Feed feed, SourceId& id) {
    id = 0;
    auto source = std::make_shared<Source>();
    source->bus = bus;
    source->ringFrames = ringFrames;
    source->feed = feed;
    source->stream = std::make_unique<SourceStream>(std::move(decoder), m_mixRate);
    source->length = source->stream->LengthFrames();
    std::shared_ptr<Voice> voice = NewVoice(*source, 0);
    Prefill(*source, *voice, kPrefillFrames);
    if (voice->failed.load()) {
        return EngineStatus::Fail(EngineError::InvalidFile, source->stream->Error());
    }
    {
        std::lock_guard lock(m_sync.mutex);
        if (!m_core.Attach(*voice)) {
            return EngineStatus::Fail(EngineError::TooManySources,
                                      "Too many sources are open at once");
        }
        source->voice = voice;
        m_voices.push_back(std::move(voice));
        id = EngineSync::NewId();
        m_sources.emplace(id, std::move(source));
    }
    (feed == Feed::Slow ? m_slowFeed : m_fastFeed).Request();
    return EngineStatus::Ok();
}

EngineStatus SourceTable::ReplaceVoice(Source& source, std::uint64_t frame) {
    if (source.stream->Failed()) {
        return EngineStatus::Fail(EngineError::InvalidFile, source.stream->Error());
    }
    if (!source.stream->Seek(frame)) {
        return EngineStatus::Fail(EngineError::Unsupported, "The source cannot move there");
    }
    std::shared_ptr<Voice> voice = NewVoice(source, frame);
    Prefill(source, *voice, kPrefillFrames);
    {
        std::lock_guard lock(m_sync.mutex);
        if (!m_core.Attach(*voice)) {
            return EngineStatus::Fail(EngineError::TooManySources,
                                      "Too many sources are open at once");
        }
        Voice& old = *source.voice;
        bool wasPlaying = old.state.load() == Voice::kPlaying;
        m_core.RequestDetach(old);
        DisarmAfterLocked(old);
        voice->primed.store(!wasPlaying);
        voice->state.store(wasPlaying ? Voice::kPlaying : Voice::kStopped);
        source.voice = voice;
        source.baseFrame = frame;
        m_voices.push_back(std::move(voice));
    }
    (source.feed == Feed::Slow ? m_slowFeed : m_fastFeed).Request();
    return EngineStatus::Ok();
}

EngineStatus SourceTable::Play(SourceId id, SourceId after, EndHandler onEnd,
                               NearEndHandler onNearEnd, std::uint64_t* playSerial) {
    std::shared_ptr<Source> source = FindLocked(id);
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    // The source's lock only to start again after the end: a feeder may hold it across a read
    // from a slow disc, and a voice that ended is read no more.
    std::unique_lock sourceLock(source->mutex, std::defer_lock);
    if (VoiceState(*source) == Voice::kEnded) {
        sourceLock.lock();
        if (source->voice->state.load() == Voice::kEnded) {
            EngineStatus status = ReplaceVoice(*source, 0);
            if (!status.ok()) {
                return status;
            }
        }
    }
    {
        std::lock_guard lock(m_sync.mutex);
        std::shared_ptr<Source> previous = after != 0 ? Find(after) : nullptr;
        if (after != 0 && !previous) {
            return EngineStatus::Fail(EngineError::InvalidSource, "No such source to follow");
        }
        Voice& voice = *source->voice;
        std::uint64_t serial = ++m_sync.lastSerial;
        source->handler = std::move(onEnd);
        source->nearHandler = std::move(onNearEnd);
        source->playSerial = serial;
        source->disarmed = false;
        source->cueFader.reset();
        if (playSerial != nullptr) {
            *playSerial = serial;
        }
        const int state = voice.state.load();
        const Voice* followed = previous ? previous->voice.get() : nullptr;
        const bool follows =
            followed != nullptr && followed != &voice &&
            (followed->state.load() == Voice::kPlaying || followed->state.load() == Voice::kCued);
        if (state == Voice::kStopped && follows) {
            // The cue's fader, as the mixer applies it on the cue's first frame.
            std::optional<BusFader>& fader = m_cueFaders[static_cast<std::size_t>(source->bus)];
            voice.hasStartGain = fader.has_value();
            if (fader) {
                voice.startGain[0] = FaderToGain(fader->left);
                voice.startGain[1] = FaderToGain(fader->right);
                source->cueFader = std::exchange(fader, std::nullopt);
            }
            voice.after.store(followed);
            voice.state.store(Voice::kCued);
            // The voice followed may have ended before the cue was in place: then the mixer
            // did not see it, and it starts now.
            int cued = Voice::kCued;
            if (followed->state.load() == Voice::kEnded &&
                voice.state.compare_exchange_strong(cued, Voice::kPlaying)) {
                voice.startedOnCue.store(true);
                if (voice.hasStartGain) {
                    m_core.SetBusGain(source->bus, voice.startGain[0], voice.startGain[1]);
                }
                m_sync.noticeWake.Post();
            }
        } else if (state == Voice::kStopped || state == Voice::kCued) {
            voice.primed.store(false);
            voice.state.store(Voice::kPlaying);
        }
        if (voice.nearEndPassed.load()) {
            m_sync.noticeWake.Post(); // a short play is near its end at once
        }
    }
    (source->feed == Feed::Slow ? m_slowFeed : m_fastFeed).Request();
    m_fastFeed.Request(); // the output device is wanted
    return EngineStatus::Ok();
}

void SourceTable::DisarmAfterLocked(const Voice& voice) {
    for (auto& [id, source] : m_sources) {
        Voice& cued = *source->voice;
        if (cued.state.load() != Voice::kCued || cued.after.load() != &voice) {
            continue;
        }
        int expected = Voice::kCued;
        if (cued.state.compare_exchange_strong(expected, Voice::kStopped)) {
            cued.after.store(nullptr);
            source->disarmed = true;
            m_sync.noticeWake.Post();
        }
    }
}

EngineStatus SourceTable::Stop(SourceId id, bool& cut) {
    cut = false;
    std::lock_guard lock(m_sync.mutex);
    std::shared_ptr<Source> source = Find(id);
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    Voice& voice = *source->voice;
    int playing = Voice::kPlaying;
    cut = voice.state.compare_exchange_strong(playing, Voice::kStopped);
    if (!cut) {
        int cued = Voice::kCued;
        if (voice.state.compare_exchange_strong(cued, Voice::kStopped)) {
            voice.after.store(nullptr);
        }
    }
    DisarmAfterLocked(voice);
    source->reportedSerial = source->playSerial;
    source->nearReportedSerial = source->playSerial;
    source->disarmed = false;
    return EngineStatus::Ok();
}

EngineStatus SourceTable::Seek(SourceId id, std::uint64_t frame) {
    std::shared_ptr<Source> source = FindLocked(id);
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    std::lock_guard sourceLock(source->mutex);
    std::uint64_t length = source->length.load();
    if (length > 0 && frame > length) {
        return EngineStatus::Fail(EngineError::OutOfRange, "The position is past the end");
    }
    return ReplaceVoice(*source, frame);
}

bool SourceTable::Close(SourceId id) {
    std::shared_ptr<Source> source;
    bool cut = false;
    {
        std::unique_lock lock(m_sync.mutex);
        auto it = m_sources.find(id);
        if (it == m_sources.end()) {
            return false;
        }
        cut = it->second->voice->state.load() == Voice::kPlaying;
        source = std::move(it->second);
        m_sources.erase(it);
        m_core.RequestDetach(*source->voice);
        DisarmAfterLocked(*source->voice);
        source->reportedSerial = source->playSerial;
        m_sync.WaitForHandler(lock, id);
    }
    m_fastFeed.Request(); // frees it
    return cut;
}

bool SourceTable::IsOpen(SourceId id) const {
    std::lock_guard lock(m_sync.mutex);
    return Find(id) != nullptr;
}

bool SourceTable::IsPlaying(SourceId id) const {
    std::lock_guard lock(m_sync.mutex);
    std::shared_ptr<Source> source = Find(id);
    return source && source->voice->state.load() == Voice::kPlaying;
}

std::uint64_t SourceTable::Position(SourceId id) const {
    std::lock_guard lock(m_sync.mutex);
    std::shared_ptr<Source> source = Find(id);
    if (!source) {
        return 0;
    }
    return source->baseFrame + source->voice->framesPlayed.load(std::memory_order_relaxed);
}

std::uint64_t SourceTable::Length(SourceId id) const {
    // Not under the source's lock: a feeder may hold that across a read from a slow disc.
    std::shared_ptr<Source> source = FindLocked(id);
    return source ? source->length.load() : 0;
}

void SourceTable::SetCueFader(Bus bus, BusFader fader) {
    std::lock_guard lock(m_sync.mutex);
    m_cueFaders[static_cast<std::size_t>(bus)] = fader;
}

void SourceTable::CollectLocked(Feed feed, std::vector<std::shared_ptr<Source>>& snapshot) {
    for (auto& [id, source] : m_sources) {
        if (source->feed == feed) {
            snapshot.push_back(source);
        }
    }
}

bool SourceTable::AnyPlayingLocked() const {
    return std::any_of(m_sources.begin(), m_sources.end(), [](const auto& entry) {
        const int state = entry.second->voice->state.load();
        return state == Voice::kPlaying || state == Voice::kCued;
    });
}

void SourceTable::ForgetDetachedLocked() {
    std::erase_if(m_voices, [this](const std::shared_ptr<Voice>& voice) {
        return voice->removeRequested.load() && m_core.IsDetached(*voice);
    });
}

void SourceTable::Refill(Source& source, std::vector<float>& scratch) {
    std::lock_guard lock(source.mutex);
    Voice& voice = *source.voice;
    while (!voice.producerDone.load(std::memory_order_relaxed) &&
           voice.ring.Writable() >= kChunkFrames / 4) {
        std::size_t want = std::min({voice.ring.Writable(), kChunkFrames, scratch.size() / 2});
        std::size_t got = source.stream->Pull(scratch.data(), want);
        voice.ring.Write(scratch.data(), got);
        if (got < want) {
            NoteShortRead(source, voice);
            break;
        }
    }
}

bool SourceTable::TakeNoticeLocked(PendingNotice& notice) {
    for (auto& [id, source] : m_sources) {
        Voice& voice = *source->voice;
        const SourceId sourceId = id;
        const std::uint64_t serial = source->playSerial;
        if (voice.startedOnCue.exchange(false)) {
            if (source->cueFader && m_faderApplied) {
                notice = {id, [report = m_faderApplied, bus = source->bus,
                               fader = *source->cueFader] { report(bus, fader); }};
                source->cueFader.reset();
                return true;
            }
        }
        if (voice.nearEndPassed.load(std::memory_order_acquire) &&
            source->nearReportedSerial != serial && source->nearHandler) {
            source->nearReportedSerial = serial;
            notice = {id, [handler = source->nearHandler, sourceId, serial] {
                          handler(sourceId, serial);
                      }};
            return true;
        }
        const bool ended = voice.state.load(std::memory_order_acquire) == Voice::kEnded;
        if ((ended || source->disarmed) && serial != source->reportedSerial && source->handler) {
            source->reportedSerial = serial;
            source->nearReportedSerial = serial;
            const EndReason reason = source->disarmed      ? EndReason::Disarmed
                                     : voice.failed.load() ? EndReason::Failed
                                                           : EndReason::Finished;
            source->disarmed = false;
            notice = {id, [handler = source->handler, sourceId, reason, serial] {
                          handler(sourceId, reason, serial);
                      }};
            return true;
        }
    }
    return false;
}

void SourceTable::Clear() {
    std::lock_guard lock(m_sync.mutex);
    m_sources.clear();
    m_voices.clear();
}
