#include "platform/engine/SourceTable.h"

#include <algorithm>

namespace {
constexpr std::size_t kPrefillFrames = 4096;
constexpr std::size_t kChunkFrames = 8192;
} // namespace

SourceTable::SourceTable(EngineSync& sync, MixCore& core, int mixRate)
    : m_sync(sync)
    , m_core(core)
    , m_mixRate(mixRate) {}

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

void SourceTable::Prefill(Source& source, Voice& voice, std::size_t frames) {
    std::vector<float> buffer(frames * 2);
    std::size_t got = source.stream->Pull(buffer.data(), frames);
    voice.ring.Write(buffer.data(), got);
    if (source.stream->Failed()) {
        voice.failed.store(true, std::memory_order_release);
    }
    if (source.stream->Failed() || source.stream->AtEnd()) {
        voice.producerDone.store(true, std::memory_order_release);
    }
}

EngineStatus SourceTable::Add(std::unique_ptr<Decoder> decoder, Bus bus, std::size_t ringFrames,
                              SourceId& id) {
    id = 0;
    auto source = std::make_shared<Source>();
    source->bus = bus;
    source->ringFrames = ringFrames;
    source->stream = std::make_unique<SourceStream>(std::move(decoder), m_mixRate);
    auto voice = std::make_unique<Voice>(ringFrames, bus);
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
        source->voice = voice.get();
        m_voices.push_back(std::move(voice));
        id = EngineSync::NewId();
        m_sources.emplace(id, std::move(source));
    }
    m_sync.feederWake.Post();
    return EngineStatus::Ok();
}

EngineStatus SourceTable::ReplaceVoice(Source& source, std::uint64_t frame) {
    if (source.stream->Failed()) {
        return EngineStatus::Fail(EngineError::InvalidFile, source.stream->Error());
    }
    if (!source.stream->Seek(frame)) {
        return EngineStatus::Fail(EngineError::Unsupported, "The source cannot move there");
    }
    auto voice = std::make_unique<Voice>(source.ringFrames, source.bus);
    Prefill(source, *voice, kPrefillFrames);
    {
        std::lock_guard lock(m_sync.mutex);
        if (!m_core.Attach(*voice)) {
            return EngineStatus::Fail(EngineError::TooManySources,
                                      "Too many sources are open at once");
        }
        Voice* old = source.voice;
        bool wasPlaying = old->state.load() == Voice::kPlaying;
        m_core.RequestDetach(*old);
        voice->state.store(wasPlaying ? Voice::kPlaying : Voice::kStopped);
        source.voice = voice.get();
        source.baseFrame = frame;
        m_voices.push_back(std::move(voice));
    }
    m_sync.feederWake.Post();
    return EngineStatus::Ok();
}

EngineStatus SourceTable::Play(SourceId id, EndHandler onEnd, std::uint64_t* playSerial) {
    std::shared_ptr<Source> source = FindLocked(id);
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    std::lock_guard sourceLock(source->mutex);
    if (source->voice->state.load() == Voice::kEnded) {
        EngineStatus status = ReplaceVoice(*source, 0);
        if (!status.ok()) {
            return status;
        }
    }
    {
        std::lock_guard lock(m_sync.mutex);
        std::uint64_t serial = ++m_sync.lastSerial;
        source->handler = std::move(onEnd);
        source->playSerial = serial;
        int stopped = Voice::kStopped;
        source->voice->state.compare_exchange_strong(stopped, Voice::kPlaying);
        if (playSerial != nullptr) {
            *playSerial = serial;
        }
    }
    m_sync.feederWake.Post();
    return EngineStatus::Ok();
}

EngineStatus SourceTable::Stop(SourceId id) {
    std::lock_guard lock(m_sync.mutex);
    std::shared_ptr<Source> source = Find(id);
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    int playing = Voice::kPlaying;
    source->voice->state.compare_exchange_strong(playing, Voice::kStopped);
    source->reportedSerial = source->playSerial;
    return EngineStatus::Ok();
}

EngineStatus SourceTable::Seek(SourceId id, std::uint64_t frame) {
    std::shared_ptr<Source> source = FindLocked(id);
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    std::lock_guard sourceLock(source->mutex);
    std::uint64_t length = source->stream->LengthFrames();
    if (length > 0 && frame > length) {
        return EngineStatus::Fail(EngineError::OutOfRange, "The position is past the end");
    }
    return ReplaceVoice(*source, frame);
}

void SourceTable::Close(SourceId id) {
    std::shared_ptr<Source> source;
    {
        std::unique_lock lock(m_sync.mutex);
        auto it = m_sources.find(id);
        if (it == m_sources.end()) {
            return;
        }
        source = std::move(it->second);
        m_sources.erase(it);
        m_core.RequestDetach(*source->voice);
        source->reportedSerial = source->playSerial;
        m_sync.WaitForHandler(lock, id);
    }
    m_sync.feederWake.Post();
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
    std::shared_ptr<Source> source = FindLocked(id);
    if (!source) {
        return 0;
    }
    std::lock_guard sourceLock(source->mutex);
    return source->stream->LengthFrames();
}

bool SourceTable::CollectLocked(std::vector<std::shared_ptr<Source>>& snapshot) {
    bool wanted = false;
    for (auto& [id, source] : m_sources) {
        snapshot.push_back(source);
        wanted = wanted || source->voice->state.load() == Voice::kPlaying;
    }
    std::erase_if(m_voices, [this](const std::unique_ptr<Voice>& voice) {
        return voice->removeRequested.load() && m_core.IsDetached(*voice);
    });
    return wanted;
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
            if (source.stream->Failed()) {
                voice.failed.store(true, std::memory_order_release);
            }
            if (source.stream->Failed() || source.stream->AtEnd()) {
                voice.producerDone.store(true, std::memory_order_release);
            }
            break;
        }
    }
}

bool SourceTable::TakeEndLocked(PendingEnd& end) {
    for (auto& [id, source] : m_sources) {
        Voice& voice = *source->voice;
        if (voice.state.load(std::memory_order_acquire) == Voice::kEnded &&
            source->playSerial != source->reportedSerial && source->handler) {
            source->reportedSerial = source->playSerial;
            end.id = id;
            end.handler = source->handler;
            end.serial = source->playSerial;
            end.reason = voice.failed.load() ? EndReason::Failed : EndReason::Finished;
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
