#include "platform/engine/SoundEngine.h"

#include "platform/engine/FaderCurve.h"
#include "platform/engine/MidiDecoder.h"
#include "platform/engine/MixCore.h"
#include "platform/engine/SdlAudioSubsystem.h"
#include "platform/engine/SdlOutputDevice.h"
#include "platform/engine/Semaphore.h"
#include "platform/engine/SourceStream.h"
#include "platform/engine/Voice.h"
#include "platform/engine/WaveDecoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {
constexpr std::size_t kFileRingFrames = 32768; // about 0.75 s at 44100 Hz
constexpr std::size_t kCdRingFrames = 131072;  // about 3 s: a drive may pause to spin up
constexpr std::size_t kPrefillFrames = 4096;
constexpr std::size_t kChunkFrames = 8192;
constexpr auto kDevicePoll = 200ms;
constexpr auto kIdleWait = 1000ms;
constexpr auto kFirstRetry = 100ms;
constexpr auto kLongestRetry = 1000ms;
constexpr auto kReaperWait = 1000ms;
constexpr auto kShutdownReaperWait = 3000ms;

std::atomic<SourceId> g_lastSourceId{0};

// What the callback reaches through its device context. Shared by every device the engine
// opened, and outliving the engine when a device's close hangs, so a late callback of such a
// device still finds it. busy is a try-lock: whoever holds it may touch the voice slots.
struct MixGate {
    std::atomic<bool> busy{false};
    std::atomic<MixCore*> core{nullptr};
};

struct DeviceContext {
    std::shared_ptr<MixGate> gate;
    std::atomic<bool> dead{false};
};

void SDLCALL AudioCallback(void* userdata, Uint8* stream, int length) {
    auto* context = static_cast<DeviceContext*>(userdata);
    auto* out = reinterpret_cast<float*>(stream);
    auto frames = static_cast<std::size_t>(length) / (2 * sizeof(float));
    if (context->dead.load(std::memory_order_acquire) ||
        context->gate->busy.exchange(true, std::memory_order_acquire)) {
        MixCore::Silence(out, frames);
        return;
    }
    MixCore* core = context->gate->core.load(std::memory_order_acquire);
    if (core == nullptr || context->dead.load(std::memory_order_acquire)) {
        MixCore::Silence(out, frames);
    } else {
        core->Mix(out, frames);
    }
    context->gate->busy.store(false, std::memory_order_release);
}

// Counts device closes running on threads of their own; outlives the engine if one hangs.
struct ReaperState {
    std::mutex mutex;
    std::condition_variable done;
    int running = 0;
};
} // namespace

struct SoundEngine::Impl {
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

    explicit Impl(Config c)
        : config(c)
        , sdl(std::make_unique<SdlAudioSubsystem>())
        , pool(c.mixRate, c.synthGain)
        , core(feederWake, endWake)
        , gate(std::make_shared<MixGate>())
        , reapers(std::make_shared<ReaperState>()) {
        gate->core.store(&core, std::memory_order_release);
        feeder = std::thread([this] { FeederLoop(); });
        notice = std::thread([this] { NoticeLoop(); });
    }

    ~Impl();

    std::shared_ptr<Source> Find(SourceId id) const {
        auto it = sources.find(id);
        return it == sources.end() ? nullptr : it->second;
    }

    static void Prefill(Source& source, Voice& voice, std::size_t frames);
    EngineStatus AddSource(std::unique_ptr<Decoder> decoder, Bus bus, std::size_t ringFrames,
                           SourceId& id);
    EngineStatus ReplaceVoice(Source& source, std::uint64_t frame);
    void Refill(Source& source, std::vector<float>& scratch);
    void FeederLoop();
    void NoticeLoop();
    void ManageDevice(bool wanted,
                      std::vector<std::shared_ptr<std::promise<EngineStatus>>>& probes);
    bool OpenDevice(std::string& error);
    void CloseDevice();
    void AbandonDevice();
    bool WaitForReapers(std::chrono::milliseconds timeout);

    Config config;
    std::unique_ptr<SdlAudioSubsystem> sdl;
    SynthPool pool;
    Semaphore feederWake;
    Semaphore endWake;
    MixCore core;
    std::shared_ptr<MixGate> gate;
    std::shared_ptr<ReaperState> reapers;

    mutable std::mutex mutex;
    std::condition_variable dispatchDone;
    std::map<SourceId, std::shared_ptr<Source>> sources;
    std::vector<std::unique_ptr<Voice>> voices; // every voice a slot may still hold
    std::vector<std::shared_ptr<std::promise<EngineStatus>>> probes;
    std::array<BusFader, kBusCount> faders{};
    SourceId dispatching = 0;
    std::thread::id noticeThread;
    std::uint64_t lastSerial = 0;
    bool stopping = false;

    // Feeder thread only.
    std::unique_ptr<SdlOutputDevice> device;
    std::shared_ptr<DeviceContext> deviceContext;
    std::chrono::steady_clock::time_point lastActive{};
    std::chrono::steady_clock::time_point nextAttempt{};
    std::chrono::milliseconds backoff{kFirstRetry};
    int failures = 0;
    std::string preferredDriver; // the driver of the first device that opened

    std::atomic<bool> deviceOpen{false};
    std::atomic<std::uint64_t> opens{0};
    std::atomic<std::uint64_t> losses{0};

    std::thread feeder;
    std::thread notice;
};

SoundEngine::Impl::~Impl() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    feederWake.Post();
    endWake.Post();
    feeder.join();
    notice.join();
    for (auto& probe : probes) {
        probe->set_value(EngineStatus::Fail(EngineError::NoOutput, "The engine is shutting down"));
    }
    if (device) {
        if (device->IsLost()) {
            AbandonDevice();
        } else {
            CloseDevice();
        }
    }
    // Shut the gate: a callback of a device whose close still hangs must not reach the core.
    while (gate->busy.exchange(true, std::memory_order_acquire)) {
        std::this_thread::sleep_for(1ms);
    }
    gate->core.store(nullptr, std::memory_order_release);
    gate->busy.store(false, std::memory_order_release);
    sources.clear();
    voices.clear();
    if (!WaitForReapers(kShutdownReaperWait)) {
        // A device close hangs inside the sound library: quitting SDL now would close that
        // device a second time. Leave SDL's audio up instead.
        static_cast<void>(sdl.release());
    }
}

void SoundEngine::Impl::Prefill(Source& source, Voice& voice, std::size_t frames) {
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

EngineStatus SoundEngine::Impl::AddSource(std::unique_ptr<Decoder> decoder, Bus bus,
                                          std::size_t ringFrames, SourceId& id) {
    auto source = std::make_shared<Source>();
    source->bus = bus;
    source->ringFrames = ringFrames;
    source->stream = std::make_unique<SourceStream>(std::move(decoder), config.mixRate);
    auto voice = std::make_unique<Voice>(ringFrames, bus);
    Prefill(*source, *voice, kPrefillFrames);
    if (voice->failed.load()) {
        return EngineStatus::Fail(EngineError::InvalidFile, source->stream->Error());
    }
    {
        std::lock_guard lock(mutex);
        if (!core.Attach(*voice)) {
            return EngineStatus::Fail(EngineError::TooManySources,
                                      "Too many sources are open at once");
        }
        source->voice = voice.get();
        voices.push_back(std::move(voice));
        id = ++g_lastSourceId;
        sources.emplace(id, std::move(source));
    }
    feederWake.Post();
    return EngineStatus::Ok();
}

EngineStatus SoundEngine::Impl::ReplaceVoice(Source& source, std::uint64_t frame) {
    if (source.stream->Failed()) {
        return EngineStatus::Fail(EngineError::InvalidFile, source.stream->Error());
    }
    if (!source.stream->Seek(frame)) {
        return EngineStatus::Fail(EngineError::Unsupported, "The source cannot move there");
    }
    auto voice = std::make_unique<Voice>(source.ringFrames, source.bus);
    Prefill(source, *voice, kPrefillFrames);
    {
        std::lock_guard lock(mutex);
        if (!core.Attach(*voice)) {
            return EngineStatus::Fail(EngineError::TooManySources,
                                      "Too many sources are open at once");
        }
        Voice* old = source.voice;
        bool wasPlaying = old->state.load() == Voice::kPlaying;
        core.RequestDetach(*old);
        voice->state.store(wasPlaying ? Voice::kPlaying : Voice::kStopped);
        source.voice = voice.get();
        source.baseFrame = frame;
        voices.push_back(std::move(voice));
    }
    feederWake.Post();
    return EngineStatus::Ok();
}

void SoundEngine::Impl::Refill(Source& source, std::vector<float>& scratch) {
    std::lock_guard lock(source.mutex);
    Voice& voice = *source.voice;
    while (!voice.producerDone.load(std::memory_order_relaxed) &&
           voice.ring.Writable() >= kChunkFrames / 4) {
        std::size_t want = std::min(voice.ring.Writable(), kChunkFrames);
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

void SoundEngine::Impl::FeederLoop() {
    std::vector<std::shared_ptr<Source>> snapshot;
    std::vector<float> scratch(kChunkFrames * 2);
    std::vector<std::shared_ptr<std::promise<EngineStatus>>> probeList;
    bool wanted = false;
    for (;;) {
        auto timeout = kIdleWait;
        if (device) {
            timeout = kDevicePoll;
        } else if (wanted) {
            timeout = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     nextAttempt - std::chrono::steady_clock::now()),
                                 1ms, kLongestRetry);
        }
        feederWake.WaitFor(timeout);
        core.ClearFeedRequest();
        wanted = false;
        {
            std::lock_guard lock(mutex);
            if (stopping) {
                return;
            }
            for (auto& [id, source] : sources) {
                snapshot.push_back(source);
                wanted = wanted || source->voice->state.load() == Voice::kPlaying;
            }
            probeList.swap(probes);
            std::erase_if(voices, [this](const std::unique_ptr<Voice>& voice) {
                return voice->removeRequested.load() && core.IsDetached(*voice);
            });
        }
        ManageDevice(wanted, probeList);
        probeList.clear();
        for (auto& source : snapshot) {
            Refill(*source, scratch);
        }
        // Sources closed meanwhile are freed here, off every caller's thread.
        snapshot.clear();
    }
}

void SoundEngine::Impl::ManageDevice(
    bool wanted, std::vector<std::shared_ptr<std::promise<EngineStatus>>>& probeList) {
    auto now = std::chrono::steady_clock::now();
    bool needed = wanted || !probeList.empty();
    if (needed) {
        lastActive = now;
    }
    if (device && device->IsLost()) {
        ++losses;
        AbandonDevice();
        nextAttempt = now;
        backoff = kFirstRetry;
    }
    if (device && !needed && now - lastActive >= config.linger) {
        CloseDevice();
    }
    std::string error;
    if (!device && needed && (!probeList.empty() || now >= nextAttempt)) {
        WaitForReapers(kReaperWait);
        if (!sdl->IsUp()) {
            sdl->Restart();
        }
        if (OpenDevice(error)) {
            failures = 0;
            backoff = kFirstRetry;
            if (preferredDriver.empty()) {
                preferredDriver = sdl->DriverName();
            }
        } else {
            ++failures;
            nextAttempt = std::chrono::steady_clock::now() + backoff;
            backoff = std::min(backoff * 2, std::chrono::milliseconds(kLongestRetry));
            // SDL keeps the driver it found when its audio started: a fallback when the sound
            // server was not up then. Starting SDL's audio again lets it find the server; the
            // driver that worked before reconnects by itself and is left alone.
            bool fallback = preferredDriver.empty() || sdl->DriverName() != preferredDriver;
            if (fallback && failures % 3 == 0 && reapers->running == 0 &&
                std::getenv("SDL_AUDIODRIVER") == nullptr) {
                sdl->Restart();
            }
        }
    }
    for (auto& probe : probeList) {
        probe->set_value(
            device ? EngineStatus::Ok()
                   : EngineStatus::Fail(EngineError::NoOutput,
                                        "No sound output device can be opened: " + error));
    }
    if (!device && !gate->busy.exchange(true, std::memory_order_acquire)) {
        core.ReapWhileIdle();
        gate->busy.store(false, std::memory_order_release);
    }
}

bool SoundEngine::Impl::OpenDevice(std::string& error) {
    if (!sdl->IsUp()) {
        error = sdl->Error();
        return false;
    }
    auto context = std::make_shared<DeviceContext>();
    context->gate = gate;
    device = SdlOutputDevice::Open(config.mixRate, config.deviceFrames, &AudioCallback,
                                   context.get(), error);
    if (!device) {
        return false;
    }
    deviceContext = std::move(context);
    ++opens;
    deviceOpen = true;
    return true;
}

void SoundEngine::Impl::CloseDevice() {
    deviceContext->dead.store(true, std::memory_order_release);
    device.reset(); // returns once SDL's thread has stopped: no callback after this
    deviceContext.reset();
    deviceOpen = false;
}

void SoundEngine::Impl::AbandonDevice() {
    // Closing a device whose sound server vanished can hang inside the sound library: close it
    // on a thread of its own, and let the engine go on with a new device meanwhile.
    deviceContext->dead.store(true, std::memory_order_release);
    deviceOpen = false;
    {
        std::lock_guard lock(reapers->mutex);
        ++reapers->running;
    }
    std::thread([dead = std::move(device), context = std::move(deviceContext),
                 state = reapers]() mutable {
        dead.reset();
        context.reset();
        std::lock_guard lock(state->mutex);
        --state->running;
        state->done.notify_all();
    }).detach();
}

bool SoundEngine::Impl::WaitForReapers(std::chrono::milliseconds timeout) {
    std::unique_lock lock(reapers->mutex);
    return reapers->done.wait_for(lock, timeout, [this] { return reapers->running == 0; });
}

void SoundEngine::Impl::NoticeLoop() {
    std::unique_lock lock(mutex);
    noticeThread = std::this_thread::get_id();
    for (;;) {
        lock.unlock();
        endWake.WaitFor(kIdleWait);
        lock.lock();
        for (;;) {
            if (stopping) {
                return;
            }
            SourceId id = 0;
            EndHandler handler;
            EndReason reason = EndReason::Finished;
            std::uint64_t serial = 0;
            for (auto& [sourceId, source] : sources) {
                Voice& voice = *source->voice;
                if (voice.state.load(std::memory_order_acquire) == Voice::kEnded &&
                    source->playSerial != source->reportedSerial && source->handler) {
                    source->reportedSerial = source->playSerial;
                    id = sourceId;
                    handler = source->handler;
                    serial = source->playSerial;
                    reason = voice.failed.load() ? EndReason::Failed : EndReason::Finished;
                    break;
                }
            }
            if (id == 0) {
                break;
            }
            dispatching = id;
            lock.unlock();
            handler(id, reason, serial);
            lock.lock();
            dispatching = 0;
            dispatchDone.notify_all();
        }
    }
}

// ---------------------------------------------------------------------------------------------

SoundEngine::SoundEngine()
    : SoundEngine(Config{}) {}

SoundEngine::SoundEngine(Config config)
    : m_impl(std::make_unique<Impl>(config)) {}

SoundEngine::~SoundEngine() = default;

EngineStatus SoundEngine::OpenWave(const std::string& path, SourceId& id) {
    id = 0;
    EngineStatus status;
    std::unique_ptr<WaveDecoder> decoder = WaveDecoder::Open(path, status);
    if (!decoder) {
        return status;
    }
    return m_impl->AddSource(std::move(decoder), Bus::Wave, kFileRingFrames, id);
}

EngineStatus SoundEngine::OpenMidi(const std::string& path, const std::string& soundFont,
                                   SourceId& id) {
    id = 0;
    EngineStatus status;
    std::unique_ptr<MidiDecoder> decoder = MidiDecoder::Open(path, soundFont, m_impl->pool, status);
    if (!decoder) {
        return status;
    }
    return m_impl->AddSource(std::move(decoder), Bus::Synth, kFileRingFrames, id);
}

EngineStatus SoundEngine::OpenCd(const std::string& device, std::int32_t startLsn,
                                 std::int32_t endLsn, SourceId& id) {
    id = 0;
    EngineStatus status;
    std::unique_ptr<CdDecoder> decoder =
        CdDecoder::Open(device, startLsn, endLsn, m_impl->config.cdReadMode, status);
    if (!decoder) {
        return status;
    }
    return m_impl->AddSource(std::move(decoder), Bus::Cd, kCdRingFrames, id);
}

EngineStatus SoundEngine::Play(SourceId id, EndHandler onEnd, std::uint64_t* playSerial) {
    std::shared_ptr<Impl::Source> source;
    {
        std::lock_guard lock(m_impl->mutex);
        source = m_impl->Find(id);
    }
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    std::lock_guard sourceLock(source->mutex);
    if (source->voice->state.load() == Voice::kEnded) {
        EngineStatus status = m_impl->ReplaceVoice(*source, 0);
        if (!status.ok()) {
            return status;
        }
    }
    {
        std::lock_guard lock(m_impl->mutex);
        std::uint64_t serial = ++m_impl->lastSerial;
        source->handler = std::move(onEnd);
        source->playSerial = serial;
        int stopped = Voice::kStopped;
        source->voice->state.compare_exchange_strong(stopped, Voice::kPlaying);
        if (playSerial != nullptr) {
            *playSerial = serial;
        }
    }
    m_impl->feederWake.Post();
    return EngineStatus::Ok();
}

EngineStatus SoundEngine::Stop(SourceId id) {
    std::lock_guard lock(m_impl->mutex);
    std::shared_ptr<Impl::Source> source = m_impl->Find(id);
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    int playing = Voice::kPlaying;
    source->voice->state.compare_exchange_strong(playing, Voice::kStopped);
    source->reportedSerial = source->playSerial;
    return EngineStatus::Ok();
}

EngineStatus SoundEngine::Seek(SourceId id, std::uint64_t frame) {
    std::shared_ptr<Impl::Source> source;
    {
        std::lock_guard lock(m_impl->mutex);
        source = m_impl->Find(id);
    }
    if (!source) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such source");
    }
    std::lock_guard sourceLock(source->mutex);
    std::uint64_t length = source->stream->LengthFrames();
    if (length > 0 && frame > length) {
        return EngineStatus::Fail(EngineError::OutOfRange, "The position is past the end");
    }
    return m_impl->ReplaceVoice(*source, frame);
}

void SoundEngine::Close(SourceId id) {
    std::shared_ptr<Impl::Source> source;
    {
        std::unique_lock lock(m_impl->mutex);
        auto it = m_impl->sources.find(id);
        if (it == m_impl->sources.end()) {
            return;
        }
        source = std::move(it->second);
        m_impl->sources.erase(it);
        m_impl->core.RequestDetach(*source->voice);
        source->reportedSerial = source->playSerial;
        if (std::this_thread::get_id() != m_impl->noticeThread) {
            m_impl->dispatchDone.wait(lock, [&] { return m_impl->dispatching != id; });
        }
    }
    m_impl->feederWake.Post();
}

bool SoundEngine::IsOpen(SourceId id) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->Find(id) != nullptr;
}

bool SoundEngine::IsPlaying(SourceId id) const {
    std::lock_guard lock(m_impl->mutex);
    std::shared_ptr<Impl::Source> source = m_impl->Find(id);
    return source && source->voice->state.load() == Voice::kPlaying;
}

std::uint64_t SoundEngine::Position(SourceId id) const {
    std::lock_guard lock(m_impl->mutex);
    std::shared_ptr<Impl::Source> source = m_impl->Find(id);
    if (!source) {
        return 0;
    }
    return source->baseFrame + source->voice->framesPlayed.load(std::memory_order_relaxed);
}

std::uint64_t SoundEngine::Length(SourceId id) const {
    std::shared_ptr<Impl::Source> source;
    {
        std::lock_guard lock(m_impl->mutex);
        source = m_impl->Find(id);
    }
    if (!source) {
        return 0;
    }
    std::lock_guard sourceLock(source->mutex);
    return source->stream->LengthFrames();
}

void SoundEngine::SetBusFader(Bus bus, std::uint16_t left, std::uint16_t right) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faders[static_cast<std::size_t>(bus)] = {left, right};
    m_impl->core.SetBusGain(bus, FaderToGain(left), FaderToGain(right));
}

SoundEngine::BusFader SoundEngine::GetBusFader(Bus bus) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->faders[static_cast<std::size_t>(bus)];
}

float SoundEngine::BusGain(Bus bus, int channel) const {
    return m_impl->core.BusGain(bus, channel);
}

EngineStatus SoundEngine::ProbeOutput() {
    auto probe = std::make_shared<std::promise<EngineStatus>>();
    std::future<EngineStatus> result = probe->get_future();
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->probes.push_back(probe);
    }
    m_impl->feederWake.Post();
    if (result.wait_for(m_impl->config.probeTimeout) != std::future_status::ready) {
        return EngineStatus::Fail(EngineError::NoOutput, "The sound output did not answer");
    }
    return result.get();
}

EngineStatus SoundEngine::ProbeSoundFont(const std::string& soundFont) {
    return m_impl->pool.Probe(soundFont);
}

EngineStatus SoundEngine::ProbeCd(const std::string& device, int& trackCount) {
    trackCount = 0;
    EngineStatus status;
    std::unique_ptr<CdDisc> disc = CdDisc::Open(device, status);
    if (disc) {
        trackCount = disc->TrackCount();
    }
    return status;
}

int SoundEngine::MixRate() const {
    return m_impl->config.mixRate;
}

SoundEngine::Stats SoundEngine::GetStats() const {
    Stats stats;
    stats.deviceOpens = m_impl->opens.load();
    stats.deviceLosses = m_impl->losses.load();
    stats.callbacks = m_impl->core.Callbacks();
    stats.underruns = m_impl->core.Underruns();
    stats.deviceOpen = m_impl->deviceOpen.load();
    stats.driver = m_impl->sdl ? m_impl->sdl->DriverName() : std::string();
    return stats;
}
