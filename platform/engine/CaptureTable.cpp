#include "platform/engine/CaptureTable.h"

#include "platform/engine/FrameRing.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;

namespace {
constexpr std::size_t kRingFrames = 131072; // about 3 s at 44100 Hz
constexpr std::size_t kChunkFrames = 8192;
constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;

EngineStatus CheckFormat(const PcmFormat& format) {
    if (format.channels < 1 || format.channels > 2) {
        return EngineStatus::Fail(EngineError::Unsupported, "A recording has 1 or 2 channels");
    }
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) {
        return EngineStatus::Fail(EngineError::Unsupported, "A recording has 8 or 16 bits");
    }
    if (format.rate < kMinRate || format.rate > kMaxRate) {
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
} // namespace

// The Microphone bus's gains as the capture callback reads them.
struct CaptureTable::Gains {
    Gains() {
        gain[0].store(1.0f);
        gain[1].store(1.0f);
    }
    std::array<std::atomic<float>, 2> gain;
};

// What a capture callback reaches. Shared by every device a capture opens, and outliving the
// engine when a device's close hangs. busy is a try-lock: whoever holds it writes the ring,
// and the ring has one writer at a time.
struct CaptureTable::Shared {
    Shared(std::shared_ptr<Gains> captureGains, Semaphore* threadWake)
        : ring(kRingFrames)
        , gains(std::move(captureGains))
        , wake(threadWake) {}
    FrameRing ring;
    std::shared_ptr<Gains> gains;
    Semaphore* wake; // the engine's: touched only through a live context, under busy
    std::atomic<bool> busy{false};
    std::atomic<bool> wakeRequested{false};
    std::atomic<std::uint64_t> overruns{0};
};

struct CaptureTable::Context {
    std::shared_ptr<Shared> shared;
    std::atomic<bool> dead{false};

    // Real-time: scales by the bus gains and copies into the ring; no locks, no allocation.
    static void SDLCALL Callback(void* userdata, Uint8* stream, int length) {
        auto* context = static_cast<Context*>(userdata);
        Shared& shared = *context->shared;
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

    // Cuts the callback off: once this returns, it touches nothing but the context's own flag.
    // A callback in progress takes microseconds, so the wait is short.
    void Shut() {
        dead.store(true, std::memory_order_release);
        while (shared->busy.exchange(true, std::memory_order_acquire)) {
            std::this_thread::yield();
        }
        shared->busy.store(false, std::memory_order_release);
    }
};

// A start waiting for the capture thread to open the capture device.
struct CaptureTable::Request {
    std::promise<EngineStatus> result;
    EndHandler handler;
    std::uint64_t serial = 0;
    // Engine mutex:
    bool taken = false;     // the capture thread is opening the device
    bool abandoned = false; // the caller gave up waiting, or the capture was closed
};

struct CaptureTable::Capture {
    std::shared_ptr<Shared> shared;
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
    std::shared_ptr<Context> context;
    std::shared_ptr<Request> request;
    EndHandler handler;
    std::uint64_t serial = 0;
    std::uint64_t reportedSerial = 0;
    bool endPending = false;
    EndReason endReason = EndReason::Finished;
};

CaptureTable::CaptureTable(EngineSync& sync, AudioDevices& devices, Semaphore& wake, Config config)
    : m_sync(sync)
    , m_devices(devices)
    , m_wake(wake)
    , m_config(std::move(config))
    , m_spoolFolder(m_config.spoolFolder.empty() ? DefaultSpoolFolder() : m_config.spoolFolder)
    , m_gains(std::make_shared<Gains>())
    , m_scratch(kChunkFrames * 2) {}

CaptureTable::~CaptureTable() {
    for (auto& [id, capture] : m_captures) {
        Retire(std::move(capture->device), std::move(capture->context));
    }
}

std::shared_ptr<CaptureTable::Capture> CaptureTable::Find(SourceId id) const {
    auto it = m_captures.find(id);
    return it == m_captures.end() ? nullptr : it->second;
}

std::shared_ptr<CaptureTable::Capture> CaptureTable::FindLocked(SourceId id) const {
    std::lock_guard lock(m_sync.mutex);
    return Find(id);
}

void CaptureTable::SetGains(float left, float right) {
    m_gains->gain[0].store(left, std::memory_order_relaxed);
    m_gains->gain[1].store(right, std::memory_order_relaxed);
}

std::uint64_t CaptureTable::Overruns() const {
    std::lock_guard lock(m_sync.mutex);
    std::uint64_t overruns = 0;
    for (auto& [id, capture] : m_captures) {
        overruns += capture->shared->overruns.load();
    }
    return overruns;
}

int CaptureTable::DevicesAlive() const {
    int alive = 0;
    {
        std::lock_guard lock(m_sync.mutex);
        for (auto& [id, capture] : m_captures) {
            alive += capture->device ? 1 : 0;
        }
    }
    return alive + m_devices.ClosesRunning(AudioDevices::Group::Capture);
}

EngineStatus CaptureTable::Open(const PcmFormat& format, SourceId& id) {
    id = 0;
    EngineStatus status = CheckFormat(format);
    if (!status.ok()) {
        return status;
    }
    auto capture = std::make_shared<Capture>();
    capture->spool = CaptureSpool::Create(m_spoolFolder, format.channels, status);
    if (!capture->spool) {
        return status;
    }
    capture->shared = std::make_shared<Shared>(m_gains, &m_wake);
    capture->format = format;
    capture->limitFrames = m_config.maxBytes / static_cast<std::uint64_t>(format.BlockAlign());
    std::lock_guard lock(m_sync.mutex);
    id = EngineSync::NewId();
    m_captures.emplace(id, std::move(capture));
    return EngineStatus::Ok();
}

EngineStatus CaptureTable::SetFormat(SourceId id, const PcmFormat& format) {
    EngineStatus status = CheckFormat(format);
    if (!status.ok()) {
        return status;
    }
    std::shared_ptr<Capture> capture = FindLocked(id);
    if (!capture) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such capture");
    }
    std::lock_guard spoolLock(capture->spoolMutex);
    std::lock_guard lock(m_sync.mutex);
    if (capture->capturing || capture->request || capture->spool->Frames() != 0 ||
        capture->shared->ring.Readable() != 0) {
        return EngineStatus::Fail(EngineError::Busy,
                                  "The format cannot change once something was recorded");
    }
    capture->spool->SetChannels(format.channels);
    capture->format = format;
    capture->limitFrames = m_config.maxBytes / static_cast<std::uint64_t>(format.BlockAlign());
    return EngineStatus::Ok();
}

PcmFormat CaptureTable::Format(SourceId id) const {
    std::lock_guard lock(m_sync.mutex);
    std::shared_ptr<Capture> capture = Find(id);
    return capture ? capture->format : PcmFormat{};
}

EngineStatus CaptureTable::Start(SourceId id, EndHandler onEnd, std::uint64_t* serial) {
    std::shared_ptr<Capture> capture;
    auto request = std::make_shared<Request>();
    std::future<EngineStatus> result = request->result.get_future();
    {
        std::lock_guard lock(m_sync.mutex);
        capture = Find(id);
        if (!capture) {
            return EngineStatus::Fail(EngineError::InvalidSource, "No such capture");
        }
        if (capture->capturing) {
            capture->handler = std::move(onEnd);
            capture->serial = ++m_sync.lastSerial;
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
        request->serial = ++m_sync.lastSerial;
        capture->request = request;
    }
    m_wake.Post();
    if (result.wait_for(m_config.startTimeout) != std::future_status::ready) {
        std::lock_guard lock(m_sync.mutex);
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

EngineStatus CaptureTable::Stop(SourceId id) {
    std::unique_ptr<SdlAudioDevice> device;
    std::shared_ptr<Context> context;
    {
        std::lock_guard lock(m_sync.mutex);
        std::shared_ptr<Capture> capture = Find(id);
        if (!capture) {
            return EngineStatus::Fail(EngineError::InvalidSource, "No such capture");
        }
        Halt(*capture, device, context);
    }
    Retire(std::move(device), std::move(context));
    m_wake.Post(); // spools the rest
    return EngineStatus::Ok();
}

bool CaptureTable::IsCapturing(SourceId id) const {
    std::lock_guard lock(m_sync.mutex);
    std::shared_ptr<Capture> capture = Find(id);
    return capture && capture->capturing;
}

std::uint64_t CaptureTable::CapturedFrames(SourceId id) const {
    std::shared_ptr<Capture> capture = FindLocked(id);
    if (!capture) {
        return 0;
    }
    // Counted where frames enter the ring, which only grows: a count taken while the thread
    // moves frames from the ring to the spool is never too low.
    std::uint64_t frames = capture->shared->ring.Written() - capture->discarded.load();
    return std::min(frames, capture->limitFrames.load());
}

EngineStatus CaptureTable::Save(SourceId id, const std::string& path) {
    std::shared_ptr<Capture> capture = FindLocked(id);
    if (!capture) {
        return EngineStatus::Fail(EngineError::InvalidSource, "No such capture");
    }
    std::lock_guard spoolLock(capture->spoolMutex);
    PcmFormat format;
    {
        std::lock_guard lock(m_sync.mutex);
        if (capture->capturing || capture->request) {
            return EngineStatus::Fail(EngineError::Busy, "Stop the recording before saving it");
        }
        format = capture->format;
    }
    std::vector<float> scratch(kChunkFrames * 2);
    std::string error;
    if (Drain(*capture, scratch, error) == DrainResult::WriteFailed) {
        return EngineStatus::Fail(EngineError::WriteFailed, error);
    }
    return capture->spool->SaveWave(path, format);
}

void CaptureTable::Close(SourceId id) {
    std::shared_ptr<Capture> capture;
    std::unique_ptr<SdlAudioDevice> device;
    std::shared_ptr<Context> context;
    {
        std::unique_lock lock(m_sync.mutex);
        auto it = m_captures.find(id);
        if (it == m_captures.end()) {
            return;
        }
        capture = std::move(it->second);
        m_captures.erase(it);
        capture->closed = true;
        Halt(*capture, device, context);
        m_sync.WaitForHandler(lock, id);
    }
    Retire(std::move(device), std::move(context));
}

void CaptureTable::Halt(Capture& capture, std::unique_ptr<SdlAudioDevice>& device,
                        std::shared_ptr<Context>& context) {
    if (capture.request) {
        capture.request->abandoned = true;
    }
    capture.capturing = false;
    capture.endPending = false;
    capture.reportedSerial = capture.serial;
    device = std::move(capture.device);
    context = std::move(capture.context);
}

bool CaptureTable::CollectLocked() {
    bool active = false;
    for (auto& [id, capture] : m_captures) {
        m_list.push_back(capture);
        auto& request = capture->request;
        if (request && !request->taken && !request->abandoned) {
            request->taken = true;
            m_requests.emplace_back(capture, request);
        }
        active = active || capture->capturing || request != nullptr;
    }
    return active;
}

void CaptureTable::Serve() {
    for (auto& [capture, request] : m_requests) {
        OpenDevice(*capture, *request);
    }
    for (auto& capture : m_list) {
        // A device that vanished ends its capture: SDL would go on with silence.
        SDL_AudioDeviceID deviceId = 0;
        const Context* context = nullptr;
        {
            std::lock_guard lock(m_sync.mutex);
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
            drained = Drain(*capture, m_scratch, error);
        }
        if (drained != DrainResult::Ok) {
            End(*capture, nullptr,
                drained == DrainResult::Full ? EndReason::Finished : EndReason::Failed);
        } else if (lost) {
            ++m_losses;
            End(*capture, context, EndReason::Finished);
        }
    }
    // Captures closed meanwhile are freed here, off every caller's thread.
    m_list.clear();
    m_requests.clear();
}

void CaptureTable::OpenDevice(Capture& capture, Request& request) {
    PcmFormat format;
    {
        std::lock_guard lock(m_sync.mutex);
        format = capture.format;
    }
    auto context = std::make_shared<Context>();
    context->shared = capture.shared;
    std::string error;
    std::unique_ptr<SdlAudioDevice> opened =
        m_devices.Open(SdlAudioDevice::Direction::Capture, format.rate, m_config.deviceFrames,
                       SdlAudioDevice::Samples::Float, &Context::Callback, context.get(), error);
    if (!opened && m_devices.RestartIfIdle()) {
        opened = m_devices.Open(SdlAudioDevice::Direction::Capture, format.rate,
                                m_config.deviceFrames, SdlAudioDevice::Samples::Float,
                                &Context::Callback, context.get(), error);
    }
    std::unique_lock lock(m_sync.mutex);
    if (capture.request.get() == &request) {
        capture.request.reset();
    }
    if (!opened) {
        request.result.set_value(EngineStatus::Fail(
            EngineError::NoInput, "No sound input device can be opened: " + error));
        return;
    }
    ++m_opens;
    if (request.abandoned || capture.closed) {
        lock.unlock();
        Retire(std::move(opened), std::move(context));
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
    request.result.set_value(EngineStatus::Ok());
}

CaptureTable::DrainResult CaptureTable::Drain(Capture& capture, std::vector<float>& scratch,
                                              std::string& error) {
    capture.shared->wakeRequested.store(false, std::memory_order_relaxed);
    const std::size_t chunk = std::min(scratch.size() / 2, kChunkFrames);
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

void CaptureTable::End(Capture& capture, const Context* context, EndReason reason) {
    std::unique_ptr<SdlAudioDevice> ended;
    std::shared_ptr<Context> endedContext;
    {
        std::lock_guard lock(m_sync.mutex);
        if (!capture.capturing || (context != nullptr && capture.context.get() != context)) {
            return;
        }
        capture.capturing = false;
        capture.endPending = true;
        capture.endReason = reason;
        ended = std::move(capture.device);
        endedContext = std::move(capture.context);
    }
    Retire(std::move(ended), std::move(endedContext));
    m_sync.noticeWake.Post();
}

void CaptureTable::Retire(std::unique_ptr<SdlAudioDevice> device,
                          std::shared_ptr<Context> context) {
    if (context) {
        context->Shut();
    }
    if (!device) {
        return;
    }
    // Closing a capture device can hang inside the sound library when its input stopped
    // delivering: never on a caller's thread, nor on the capture thread.
    m_devices.CloseLater(AudioDevices::Group::Capture, std::move(device), std::move(context));
}

bool CaptureTable::TakeNoticeLocked(PendingNotice& notice) {
    for (auto& [id, capture] : m_captures) {
        if (capture->endPending && capture->serial != capture->reportedSerial && capture->handler) {
            capture->endPending = false;
            capture->reportedSerial = capture->serial;
            notice = {id, [handler = capture->handler, id = id, reason = capture->endReason,
                           serial = capture->serial] { handler(id, reason, serial); }};
            return true;
        }
    }
    return false;
}
