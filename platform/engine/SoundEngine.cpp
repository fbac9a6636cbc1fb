#include "platform/engine/SoundEngine.h"

#include "platform/engine/CaptureSpool.h"
#include "platform/engine/FaderCurve.h"
#include "platform/engine/MidiDecoder.h"
#include "platform/engine/MixCore.h"
#include "platform/engine/SdlAudioDevice.h"
#include "platform/engine/SdlAudioSubsystem.h"
#include "platform/engine/Semaphore.h"
#include "platform/engine/SourceStream.h"
#include "platform/engine/Voice.h"
#include "platform/engine/WaveDecoder.h"

#include <unistd.h>

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
constexpr std::size_t kCaptureRingFrames = 131072; // about 3 s at 44100 Hz
constexpr std::size_t kCaptureChunkFrames = 8192;
constexpr int kMinCaptureRate = 8000;
constexpr int kMaxCaptureRate = 192000;

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

// The Microphone bus's gains as the capture callback reads them.
struct CaptureGains {
    CaptureGains() {
        gain[0].store(1.0f);
        gain[1].store(1.0f);
    }
    std::array<std::atomic<float>, 2> gain;
};

// What a capture callback reaches. Shared by every device a capture opens, and outliving the
// engine when a device's close hangs. busy is a try-lock: whoever holds it writes the ring,
// and the ring has one writer at a time.
struct CaptureShared {
    CaptureShared(std::shared_ptr<CaptureGains> captureGains, Semaphore* feederWake)
        : ring(kCaptureRingFrames)
        , gains(std::move(captureGains))
        , wake(feederWake) {}
    FrameRing ring;
    std::shared_ptr<CaptureGains> gains;
    Semaphore* wake; // the engine's: touched only through a live context, under busy
    std::atomic<bool> busy{false};
    std::atomic<bool> wakeRequested{false};
    std::atomic<std::uint64_t> overruns{0};
};

struct CaptureContext {
    std::shared_ptr<CaptureShared> shared;
    std::atomic<bool> dead{false};
};

// Real-time: scales by the bus gains and copies into the ring; no locks, no allocation.
void SDLCALL CaptureCallback(void* userdata, Uint8* stream, int length) {
    auto* context = static_cast<CaptureContext*>(userdata);
    CaptureShared& shared = *context->shared;
    if (context->dead.load(std::memory_order_acquire) ||
        shared.busy.exchange(true, std::memory_order_acquire)) {
        return;
    }
    if (!context->dead.load(std::memory_order_acquire)) {
        auto* samples = reinterpret_cast<float*>(stream);
        auto frames = static_cast<std::size_t>(length) / (2 * sizeof(float));
        const float left = shared.gains->gain[0].load(std::memory_order_relaxed);
        const float right = shared.gains->gain[1].load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < frames; ++i) {
            samples[2 * i] *= left;
            samples[2 * i + 1] *= right;
        }
        std::size_t written = shared.ring.Write(samples, frames);
        if (written < frames) {
            shared.overruns.fetch_add(frames - written, std::memory_order_relaxed);
        }
        if (shared.ring.Readable() >= shared.ring.Capacity() / 2 &&
            !shared.wakeRequested.exchange(true, std::memory_order_relaxed)) {
            shared.wake->Post();
        }
    }
    shared.busy.store(false, std::memory_order_release);
}

// Cuts a capture device's callback off: once this returns, the callback touches nothing but
// the context's own flag. A callback in progress takes microseconds, so the wait is short.
void ShutContext(CaptureContext& context) {
    context.dead.store(true, std::memory_order_release);
    while (context.shared->busy.exchange(true, std::memory_order_acquire)) {
        std::this_thread::yield();
    }
    context.shared->busy.store(false, std::memory_order_release);
}

EngineStatus CheckCaptureFormat(const PcmFormat& format) {
    if (format.channels < 1 || format.channels > 2) {
        return EngineStatus::Fail(EngineError::Unsupported, "A recording has 1 or 2 channels");
    }
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) {
        return EngineStatus::Fail(EngineError::Unsupported, "A recording has 8 or 16 bits");
    }
    if (format.rate < kMinCaptureRate || format.rate > kMaxCaptureRate) {
        return EngineStatus::Fail(EngineError::Unsupported,
                                  "A recording has 8000 to 192000 samples a second");
    }
    return EngineStatus::Ok();
}

// /var/tmp before /tmp: /tmp is often a RAM-backed tmpfs, where an hour's recording would
// take memory after all.
std::string DefaultSpoolFolder() {
    const char* folder = std::getenv("TMPDIR");
    if (folder != nullptr && *folder != '\0') {
        return folder;
    }
    return ::access("/var/tmp", W_OK | X_OK) == 0 ? "/var/tmp" : "/tmp";
}

// Counts device closes running on threads of their own; outlives the engine if one hangs.
struct ReaperState {
    std::mutex mutex;
    std::condition_variable done;
    int running = 0;
};

/// Closes the device, then lets its callback's context go, on a detached thread counted in
/// `state` (a close may hang in the sound library; the engine waits for these when it ends).
template <typename Context>
void CloseOnThreadOfItsOwn(std::unique_ptr<SdlAudioDevice> device, std::shared_ptr<Context> context,
                           std::shared_ptr<ReaperState> state) {
    {
        std::lock_guard lock(state->mutex);
        ++state->running;
    }
    std::thread([dead = std::move(device), context = std::move(context),
                 state = std::move(state)]() mutable {
        dead.reset();
        context.reset();
        std::lock_guard lock(state->mutex);
        --state->running;
        state->done.notify_all();
    }).detach();
}
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

    // A start waiting for the feeder to open the capture device.
    struct CaptureRequest {
        std::promise<EngineStatus> result;
        EndHandler handler;
        std::uint64_t serial = 0;
        // Engine mutex:
        bool taken = false;     // the feeder is opening the device
        bool abandoned = false; // the caller gave up waiting, or the capture was closed
    };

    struct Capture {
        std::shared_ptr<CaptureShared> shared;
        std::atomic<std::uint64_t> limitFrames{0};
        std::atomic<std::uint64_t> discarded{0}; // frames the spool could not take
        // Lock order: spoolMutex before the engine's mutex.
        std::mutex spoolMutex; // the spool, and the reading side of the ring
        std::unique_ptr<CaptureSpool> spool;
        // Engine mutex:
        PcmFormat format;
        bool capturing = false;
        bool closed = false;
        std::unique_ptr<SdlAudioDevice> device;
        std::shared_ptr<CaptureContext> context;
        std::shared_ptr<CaptureRequest> request;
        EndHandler handler;
        std::uint64_t serial = 0;
        std::uint64_t reportedSerial = 0;
        bool endPending = false;
        EndReason endReason = EndReason::Finished;
    };

    enum class DrainResult { Ok, Full, WriteFailed };

    explicit Impl(Config c)
        : config(c)
        , sdl(std::make_unique<SdlAudioSubsystem>())
        , pool(c.mixRate, c.synthGain)
        , core(feederWake, endWake)
        , gate(std::make_shared<MixGate>())
        , reapers(std::make_shared<ReaperState>())
        , captureReapers(std::make_shared<ReaperState>())
        , captureGains(std::make_shared<CaptureGains>())
        , spoolFolder(c.spoolFolder.empty() ? DefaultSpoolFolder() : c.spoolFolder) {
        gate->core.store(&core, std::memory_order_release);
        feeder = std::thread([this] { FeederLoop(); });
        notice = std::thread([this] { NoticeLoop(); });
    }

    ~Impl();

    std::shared_ptr<Source> Find(SourceId id) const {
        auto it = sources.find(id);
        return it == sources.end() ? nullptr : it->second;
    }
    std::shared_ptr<Capture> FindCapture(SourceId id) const {
        auto it = captures.find(id);
        return it == captures.end() ? nullptr : it->second;
    }
    /// Find and FindCapture for callers not holding the mutex: the object stays alive with
    /// the pointer, whatever is closed meanwhile.
    std::shared_ptr<Source> FindLocked(SourceId id) const {
        std::lock_guard lock(mutex);
        return Find(id);
    }
    std::shared_ptr<Capture> FindCaptureLocked(SourceId id) const {
        std::lock_guard lock(mutex);
        return FindCapture(id);
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
    static bool WaitFor(ReaperState& state, std::chrono::milliseconds timeout);
    using TakenRequest = std::pair<std::shared_ptr<Capture>, std::shared_ptr<CaptureRequest>>;
    void ServeCaptures(std::vector<std::shared_ptr<Capture>>& list,
                       std::vector<TakenRequest>& requests, std::vector<float>& scratch);
    void OpenCaptureDevice(Capture& capture, CaptureRequest& request);
    DrainResult Drain(Capture& capture, std::vector<float>& scratch, std::string& error);
    void EndCapture(Capture& capture, const CaptureContext* context, EndReason reason);
    void RetireCapture(std::unique_ptr<SdlAudioDevice> device,
                       std::shared_ptr<CaptureContext> context);

    Config config;
    std::unique_ptr<SdlAudioSubsystem> sdl;
    SynthPool pool;
    Semaphore feederWake;
    Semaphore endWake;
    MixCore core;
    std::shared_ptr<MixGate> gate;
    std::shared_ptr<ReaperState> reapers;
    std::shared_ptr<ReaperState> captureReapers;
    std::shared_ptr<CaptureGains> captureGains;
    const std::string spoolFolder;

    mutable std::mutex mutex;
    std::condition_variable dispatchDone;
    std::map<SourceId, std::shared_ptr<Source>> sources;
    std::map<SourceId, std::shared_ptr<Capture>> captures;
    std::vector<std::unique_ptr<Voice>> voices; // every voice a slot may still hold
    std::vector<std::shared_ptr<std::promise<EngineStatus>>> probes;
    std::array<BusFader, kBusCount> faders{};
    SourceId dispatching = 0;
    std::thread::id noticeThread;
    std::uint64_t lastSerial = 0;
    bool stopping = false;

    // Feeder thread only.
    std::unique_ptr<SdlAudioDevice> device;
    std::shared_ptr<DeviceContext> deviceContext;
    std::chrono::steady_clock::time_point lastActive{};
    std::chrono::steady_clock::time_point nextAttempt{};
    std::chrono::milliseconds backoff{kFirstRetry};
    int failures = 0;
    std::string preferredDriver; // the driver of the first device that opened
    bool capturesActive = false; // a capture runs or waits for its device
    bool captureDeviceOpen = false;

    std::atomic<bool> deviceOpen{false};
    std::atomic<std::uint64_t> opens{0};
    std::atomic<std::uint64_t> losses{0};
    std::atomic<std::uint64_t> captureOpens{0};
    std::atomic<std::uint64_t> captureLosses{0};

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
    for (auto& [id, capture] : captures) {
        RetireCapture(std::move(capture->device), std::move(capture->context));
    }
    captures.clear();
    bool closed = WaitForReapers(kShutdownReaperWait);
    closed = WaitFor(*captureReapers, closed ? kShutdownReaperWait : 0ms) && closed;
    if (!closed) {
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
    std::vector<std::shared_ptr<Capture>> captureList;
    std::vector<TakenRequest> requests;
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
        if (capturesActive) {
            timeout = std::min(timeout, std::chrono::milliseconds(kDevicePoll));
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
            capturesActive = false;
            captureDeviceOpen = false;
            for (auto& [id, capture] : captures) {
                captureList.push_back(capture);
                auto& request = capture->request;
                if (request && !request->taken && !request->abandoned) {
                    request->taken = true;
                    requests.emplace_back(capture, request);
                }
                capturesActive = capturesActive || capture->capturing || request != nullptr;
                captureDeviceOpen = captureDeviceOpen || capture->device != nullptr;
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
        ServeCaptures(captureList, requests, scratch);
        // Sources closed meanwhile are freed here, off every caller's thread.
        snapshot.clear();
        captureList.clear();
        requests.clear();
    }
}

void SoundEngine::Impl::ServeCaptures(std::vector<std::shared_ptr<Capture>>& list,
                                      std::vector<TakenRequest>& requests,
                                      std::vector<float>& scratch) {
    for (auto& [capture, request] : requests) {
        OpenCaptureDevice(*capture, *request);
    }
    for (auto& capture : list) {
        // A device that vanished ends its capture: SDL would go on with silence.
        SDL_AudioDeviceID deviceId = 0;
        const CaptureContext* context = nullptr;
        {
            std::lock_guard lock(mutex);
            if (capture->capturing && capture->device) {
                deviceId = capture->device->Id();
                context = capture->context.get();
            }
        }
        bool lost = deviceId != 0 && SDL_GetAudioDeviceStatus(deviceId) == SDL_AUDIO_STOPPED;
        DrainResult drained;
        std::string error;
        {
            std::lock_guard spoolLock(capture->spoolMutex);
            drained = Drain(*capture, scratch, error);
        }
        if (drained != DrainResult::Ok) {
            EndCapture(*capture, nullptr,
                       drained == DrainResult::Full ? EndReason::Finished : EndReason::Failed);
        } else if (lost) {
            ++captureLosses;
            EndCapture(*capture, context, EndReason::Finished);
        }
    }
}

void SoundEngine::Impl::OpenCaptureDevice(Capture& capture, CaptureRequest& request) {
    PcmFormat format;
    {
        std::lock_guard lock(mutex);
        format = capture.format;
    }
    if (!sdl->IsUp()) {
        sdl->Restart();
    }
    std::string error = sdl->Error();
    auto context = std::make_shared<CaptureContext>();
    context->shared = capture.shared;
    std::unique_ptr<SdlAudioDevice> opened;
    if (sdl->IsUp()) {
        opened = SdlAudioDevice::Open(SdlAudioDevice::Direction::Capture, format.rate,
                                      config.captureFrames, &CaptureCallback, context.get(), error);
    }
    // SDL keeps the driver it found when its audio started, a fallback when the sound server
    // was not up then. With no device of this engine alive, starting SDL's audio again lets
    // it find the server (Restart declines while another engine holds SDL).
    if (!opened && !device && !captureDeviceOpen && WaitFor(*reapers, 0ms) &&
        WaitFor(*captureReapers, 0ms) && std::getenv("SDL_AUDIODRIVER") == nullptr &&
        sdl->Restart() && sdl->IsUp()) {
        opened = SdlAudioDevice::Open(SdlAudioDevice::Direction::Capture, format.rate,
                                      config.captureFrames, &CaptureCallback, context.get(), error);
    }
    std::unique_lock lock(mutex);
    if (capture.request.get() == &request) {
        capture.request.reset();
    }
    if (!opened) {
        request.result.set_value(EngineStatus::Fail(
            EngineError::NoInput, "No sound input device can be opened: " + error));
        return;
    }
    ++captureOpens;
    if (request.abandoned || capture.closed) {
        lock.unlock();
        RetireCapture(std::move(opened), std::move(context));
        request.result.set_value(
            EngineStatus::Fail(EngineError::NoInput, "The recording was given up meanwhile"));
        return;
    }
    capture.device = std::move(opened);
    capture.context = std::move(context);
    capture.capturing = true;
    capture.handler = std::move(request.handler);
    capture.serial = request.serial;
    capture.endPending = false;
    captureDeviceOpen = true;
    request.result.set_value(EngineStatus::Ok());
}

SoundEngine::Impl::DrainResult
SoundEngine::Impl::Drain(Capture& capture, std::vector<float>& scratch, std::string& error) {
    capture.shared->wakeRequested.store(false, std::memory_order_relaxed);
    const std::size_t chunk = std::min(scratch.size() / 2, kCaptureChunkFrames);
    for (;;) {
        std::size_t n = capture.shared->ring.Read(scratch.data(), chunk);
        if (n == 0) {
            return DrainResult::Ok;
        }
        const std::uint64_t limit = capture.limitFrames.load();
        const std::uint64_t spooled = capture.spool->Frames();
        const auto room = static_cast<std::size_t>(
            std::min<std::uint64_t>(n, limit > spooled ? limit - spooled : 0));
        if (room > 0 && !capture.spool->AppendStereo(scratch.data(), room, error)) {
            capture.discarded.fetch_add(n);
            return DrainResult::WriteFailed;
        }
        if (room < n || capture.spool->Frames() >= limit) {
            return DrainResult::Full;
        }
    }
}

void SoundEngine::Impl::EndCapture(Capture& capture, const CaptureContext* context,
                                   EndReason reason) {
    std::unique_ptr<SdlAudioDevice> ended;
    std::shared_ptr<CaptureContext> endedContext;
    {
        std::lock_guard lock(mutex);
        if (!capture.capturing || (context != nullptr && capture.context.get() != context)) {
            return;
        }
        capture.capturing = false;
        capture.endPending = true;
        capture.endReason = reason;
        ended = std::move(capture.device);
        endedContext = std::move(capture.context);
    }
    RetireCapture(std::move(ended), std::move(endedContext));
    endWake.Post();
}

void SoundEngine::Impl::RetireCapture(std::unique_ptr<SdlAudioDevice> retired,
                                      std::shared_ptr<CaptureContext> context) {
    if (context) {
        ShutContext(*context);
    }
    if (!retired) {
        return;
    }
    // Closing a capture device can hang inside the sound library when its input stopped
    // delivering: never on a caller's thread, nor on the feeder.
    CloseOnThreadOfItsOwn(std::move(retired), std::move(context), captureReapers);
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
            // Never while a capture device lives: restarting would close it underneath.
            bool fallback = preferredDriver.empty() || sdl->DriverName() != preferredDriver;
            bool captureAlive = captureDeviceOpen || !WaitFor(*captureReapers, 0ms);
            if (fallback && failures % 3 == 0 && reapers->running == 0 && !captureAlive &&
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
    device = SdlAudioDevice::Open(SdlAudioDevice::Direction::Output, config.mixRate,
                                  config.deviceFrames, &AudioCallback, context.get(), error);
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
    CloseOnThreadOfItsOwn(std::move(device), std::move(deviceContext), reapers);
}

bool SoundEngine::Impl::WaitForReapers(std::chrono::milliseconds timeout) {
    return WaitFor(*reapers, timeout);
}

bool SoundEngine::Impl::WaitFor(ReaperState& state, std::chrono::milliseconds timeout) {
    std::unique_lock lock(state.mutex);
    return state.done.wait_for(lock, timeout, [&state] { return state.running == 0; });
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
            for (auto& [captureId, capture] : captures) {
                if (id != 0) {
                    break;
                }
                if (capture->endPending && capture->serial != capture->reportedSerial &&
                    capture->handler) {
                    capture->endPending = false;
                    capture->reportedSerial = capture->serial;
                    id = captureId;
                    handler = capture->handler;
                    serial = capture->serial;
                    reason = capture->endReason;
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
    std::shared_ptr<Impl::Source> source = m_impl->FindLocked(id);
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
    std::shared_ptr<Impl::Source> source = m_impl->FindLocked(id);
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
    std::shared_ptr<Impl::Source> source = m_impl->FindLocked(id);
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
    if (bus == Bus::Microphone) {
        m_impl->captureGains->gain[0].store(FaderToGain(left), std::memory_order_relaxed);
        m_impl->captureGains->gain[1].store(FaderToGain(right), std::memory_order_relaxed);
    }
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
    stats.captureOpens = m_impl->captureOpens.load();
    stats.captureLosses = m_impl->captureLosses.load();
    {
        std::lock_guard lock(m_impl->mutex);
        for (auto& [id, capture] : m_impl->captures) {
            stats.captureOverruns += capture->shared->overruns.load();
            stats.captureDevicesAlive += capture->device ? 1 : 0;
        }
    }
    std::lock_guard lock(m_impl->captureReapers->mutex);
    stats.captureDevicesAlive += m_impl->captureReapers->running;
    return stats;
}

// ---------------------------------------------------------------------------------------------
// Capture

EngineStatus SoundEngine::OpenCapture(const PcmFormat& format, SourceId& id) {
    id = 0;
    EngineStatus status = CheckCaptureFormat(format);
    if (!status.ok()) {
        return status;
    }
    auto capture = std::make_shared<Impl::Capture>();
    capture->spool = CaptureSpool::Create(m_impl->spoolFolder, format.channels, status);
    if (!capture->spool) {
        return status;
    }
    capture->shared = std::make_shared<CaptureShared>(m_impl->captureGains, &m_impl->feederWake);
    capture->format = format;
    capture->limitFrames =
        m_impl->config.maxCaptureBytes / static_cast<std::uint64_t>(format.BlockAlign());
    std::lock_guard lock(m_impl->mutex);
    id = ++g_lastSourceId;
    m_impl->captures.emplace(id, std::move(capture));
    return EngineStatus::Ok();
}

EngineStatus SoundEngine::SetCaptureFormat(SourceId id, const PcmFormat& format) {
    EngineStatus status = CheckCaptureFormat(format);
    if (!status.ok()) {
        return status;
    }
    std::shared_ptr<Impl::Capture> capture = m_impl->FindCaptureLocked(id);
    if (!capture) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such capture");
    }
    std::lock_guard spoolLock(capture->spoolMutex);
    std::lock_guard lock(m_impl->mutex);
    if (capture->capturing || capture->request || capture->spool->Frames() != 0 ||
        capture->shared->ring.Readable() != 0) {
        return EngineStatus::Fail(EngineError::Busy,
                                  "The format cannot change once something was recorded");
    }
    capture->spool->SetChannels(format.channels);
    capture->format = format;
    capture->limitFrames =
        m_impl->config.maxCaptureBytes / static_cast<std::uint64_t>(format.BlockAlign());
    return EngineStatus::Ok();
}

PcmFormat SoundEngine::CaptureFormat(SourceId id) const {
    std::lock_guard lock(m_impl->mutex);
    std::shared_ptr<Impl::Capture> capture = m_impl->FindCapture(id);
    return capture ? capture->format : PcmFormat{};
}

EngineStatus SoundEngine::StartCapture(SourceId id, EndHandler onEnd, std::uint64_t* serial) {
    std::shared_ptr<Impl::Capture> capture;
    auto request = std::make_shared<Impl::CaptureRequest>();
    std::future<EngineStatus> result = request->result.get_future();
    {
        std::lock_guard lock(m_impl->mutex);
        capture = m_impl->FindCapture(id);
        if (!capture) {
            return EngineStatus::Fail(EngineError::InvalidSource, "No such capture");
        }
        if (capture->capturing) {
            capture->handler = std::move(onEnd);
            capture->serial = ++m_impl->lastSerial;
            capture->endPending = false;
            if (serial != nullptr) {
                *serial = capture->serial;
            }
            return EngineStatus::Ok();
        }
        if (capture->request) {
            return EngineStatus::Fail(EngineError::Busy, "The input device is being opened");
        }
        if (capture->shared->ring.Written() - capture->discarded.load() >=
            capture->limitFrames.load()) {
            return EngineStatus::Fail(EngineError::WriteFailed,
                                      "The recording is as long as a wave file can hold");
        }
        request->handler = std::move(onEnd);
        request->serial = ++m_impl->lastSerial;
        capture->request = request;
    }
    m_impl->feederWake.Post();
    if (result.wait_for(m_impl->config.probeTimeout) != std::future_status::ready) {
        std::lock_guard lock(m_impl->mutex);
        if (result.wait_for(0ms) != std::future_status::ready) {
            request->abandoned = true;
            if (capture->request == request) {
                capture->request.reset();
            }
            return EngineStatus::Fail(EngineError::NoInput, "The sound input did not answer");
        }
    }
    EngineStatus status = result.get();
    if (status.ok() && serial != nullptr) {
        *serial = request->serial;
    }
    return status;
}

EngineStatus SoundEngine::StopCapture(SourceId id) {
    std::unique_ptr<SdlAudioDevice> device;
    std::shared_ptr<CaptureContext> context;
    {
        std::lock_guard lock(m_impl->mutex);
        std::shared_ptr<Impl::Capture> capture = m_impl->FindCapture(id);
        if (!capture) {
            return EngineStatus::Fail(EngineError::InvalidSource, "No such capture");
        }
        if (capture->request) {
            capture->request->abandoned = true;
        }
        capture->capturing = false;
        capture->endPending = false;
        capture->reportedSerial = capture->serial;
        device = std::move(capture->device);
        context = std::move(capture->context);
    }
    m_impl->RetireCapture(std::move(device), std::move(context));
    m_impl->feederWake.Post(); // spools the rest
    return EngineStatus::Ok();
}

bool SoundEngine::IsCapturing(SourceId id) const {
    std::lock_guard lock(m_impl->mutex);
    std::shared_ptr<Impl::Capture> capture = m_impl->FindCapture(id);
    return capture && capture->capturing;
}

std::uint64_t SoundEngine::CapturedFrames(SourceId id) const {
    std::shared_ptr<Impl::Capture> capture = m_impl->FindCaptureLocked(id);
    if (!capture) {
        return 0;
    }
    // Counted where frames enter the ring, which only grows: a count taken while the feeder
    // moves frames from the ring to the spool is never too low.
    std::uint64_t frames = capture->shared->ring.Written() - capture->discarded.load();
    return std::min(frames, capture->limitFrames.load());
}

EngineStatus SoundEngine::SaveCapture(SourceId id, const std::string& path) {
    std::shared_ptr<Impl::Capture> capture = m_impl->FindCaptureLocked(id);
    if (!capture) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such capture");
    }
    std::lock_guard spoolLock(capture->spoolMutex);
    PcmFormat format;
    {
        std::lock_guard lock(m_impl->mutex);
        if (capture->capturing || capture->request) {
            return EngineStatus::Fail(EngineError::Busy, "Stop the recording before saving it");
        }
        format = capture->format;
    }
    std::vector<float> scratch(kCaptureChunkFrames * 2);
    std::string error;
    if (m_impl->Drain(*capture, scratch, error) == Impl::DrainResult::WriteFailed) {
        return EngineStatus::Fail(EngineError::WriteFailed, error);
    }
    return capture->spool->SaveWave(path, format);
}

void SoundEngine::CloseCapture(SourceId id) {
    std::shared_ptr<Impl::Capture> capture;
    std::unique_ptr<SdlAudioDevice> device;
    std::shared_ptr<CaptureContext> context;
    {
        std::unique_lock lock(m_impl->mutex);
        auto it = m_impl->captures.find(id);
        if (it == m_impl->captures.end()) {
            return;
        }
        capture = std::move(it->second);
        m_impl->captures.erase(it);
        capture->closed = true;
        if (capture->request) {
            capture->request->abandoned = true;
        }
        capture->capturing = false;
        capture->endPending = false;
        capture->reportedSerial = capture->serial;
        device = std::move(capture->device);
        context = std::move(capture->context);
        if (std::this_thread::get_id() != m_impl->noticeThread) {
            m_impl->dispatchDone.wait(lock, [&] { return m_impl->dispatching != id; });
        }
    }
    m_impl->RetireCapture(std::move(device), std::move(context));
}
