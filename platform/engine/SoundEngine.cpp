#include "platform/engine/SoundEngine.h"

#include "platform/engine/AudioDevices.h"
#include "platform/engine/CaptureTable.h"
#include "platform/engine/CdDecoder.h"
#include "platform/engine/CdDisc.h"
#include "platform/engine/EngineSync.h"
#include "platform/engine/FaderCurve.h"
#include "platform/engine/MidiDecoder.h"
#include "platform/engine/MixCore.h"
#include "platform/engine/OutputDevice.h"
#include "platform/engine/SourceTable.h"
#include "platform/engine/SynthPool.h"
#include "platform/engine/WaveDecoder.h"

#include <array>
#include <future>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

static_assert(SourceTable::kNearEndSeconds == SoundEngine::kNearEndSeconds);

namespace {
constexpr auto kIdleWait = 1000ms;
constexpr auto kBusyPoll = 200ms;
constexpr std::size_t kChunkFrames = 8192;
} // namespace

// The parts, in the order they are made; each part lives as long as those made after it.
//
// Threads: the fast feeder (wave and MIDI rings, the output device, keeping time without one),
// the slow feeder (CD rings: a disc that stalls holds up nothing else), the capture thread
// (capture devices and spools) and the notice thread (every handler).
struct SoundEngine::Impl {
    explicit Impl(const Config& c)
        : config(c)
        , pool(c.mixRate, c.synthGain)
        , core(sync.noticeWake)
        , output(devices, core,
                 {c.mixRate, c.deviceFrames,
                  c.int16Output ? SdlAudioDevice::Samples::Int16 : SdlAudioDevice::Samples::Float,
                  c.linger, c.outputChanged})
        , sources(sync, core, c.mixRate, fastFeed, slowFeed,
                  [this](Bus bus, BusFader fader) { CueFaderApplied(bus, fader); })
        , captures(sync, devices, captureWake,
                   {c.captureFrames, c.spoolFolder, c.maxCaptureBytes, c.probeTimeout}) {
        fastFeeder = std::thread([this] { FastFeederLoop(); });
        slowFeeder = std::thread([this] { SlowFeederLoop(); });
        captureThread = std::thread([this] { CaptureLoop(); });
        notice = std::thread([this] { NoticeLoop(); });
    }
    ~Impl();

    void FastFeederLoop();
    void SlowFeederLoop();
    void CaptureLoop();
    void NoticeLoop();
    void CueFaderApplied(Bus bus, BusFader fader);
    /// A source that sounded was cut off: the output drops what it holds.
    void CutOff();

    const Config config;
    EngineSync sync;
    FeedSignal fastFeed;
    FeedSignal slowFeed;
    Semaphore captureWake;
    AudioDevices devices;
    SynthPool pool;
    MixCore core;
    OutputDevice output;
    SourceTable sources;
    CaptureTable captures;

    // Engine mutex:
    std::vector<OutputDevice::Probe> probes;
    std::array<BusFader, kBusCount> faders{};

    std::thread fastFeeder;
    std::thread slowFeeder;
    std::thread captureThread;
    std::thread notice;
};

SoundEngine::Impl::~Impl() {
    {
        std::lock_guard lock(sync.mutex);
        sync.stopping = true;
    }
    fastFeed.wake.Post();
    slowFeed.wake.Post();
    captureWake.Post();
    sync.noticeWake.Post();
    fastFeeder.join();
    slowFeeder.join();
    captureThread.join();
    notice.join();
    for (auto& probe : probes) {
        probe->set_value(EngineStatus::Fail(EngineError::NoOutput, "The engine is shutting down"));
    }
    output.Shutdown();
    sources.Clear();
    // The captures retire their devices as they go; `devices` then waits for the closes.
}

void SoundEngine::Impl::FastFeederLoop() {
    std::vector<std::shared_ptr<SourceTable::Source>> snapshot;
    std::vector<float> scratch(kChunkFrames * 2);
    std::vector<OutputDevice::Probe> probeList;
    bool wanted = false;
    for (;;) {
        fastFeed.wake.WaitFor(output.PollInterval(wanted));
        fastFeed.Clear();
        {
            std::lock_guard lock(sync.mutex);
            if (sync.stopping) {
                return;
            }
            sources.CollectLocked(SourceTable::Feed::Fast, snapshot);
            sources.ForgetDetachedLocked();
            wanted = sources.AnyPlayingLocked();
            probeList.swap(probes);
        }
        for (auto& source : snapshot) {
            sources.Refill(*source, scratch);
        }
        output.Manage(wanted, probeList);
        probeList.clear();
        // Sources closed meanwhile are freed here, off every caller's thread.
        snapshot.clear();
    }
}

void SoundEngine::Impl::SlowFeederLoop() {
    std::vector<std::shared_ptr<SourceTable::Source>> snapshot;
    std::vector<float> scratch(kChunkFrames * 2);
    bool any = false;
    for (;;) {
        slowFeed.wake.WaitFor(any ? kBusyPoll : kIdleWait);
        slowFeed.Clear();
        {
            std::lock_guard lock(sync.mutex);
            if (sync.stopping) {
                return;
            }
            sources.CollectLocked(SourceTable::Feed::Slow, snapshot);
        }
        any = !snapshot.empty();
        for (auto& source : snapshot) {
            sources.Refill(*source, scratch);
        }
        snapshot.clear();
    }
}

void SoundEngine::Impl::CaptureLoop() {
    bool active = false;
    for (;;) {
        captureWake.WaitFor(active ? kBusyPoll : kIdleWait);
        {
            std::lock_guard lock(sync.mutex);
            if (sync.stopping) {
                return;
            }
            active = captures.CollectLocked();
        }
        captures.Serve();
    }
}

void SoundEngine::Impl::NoticeLoop() {
    std::unique_lock lock(sync.mutex);
    sync.noticeThread = std::this_thread::get_id();
    for (;;) {
        lock.unlock();
        sync.noticeWake.WaitFor(kIdleWait);
        lock.lock();
        for (;;) {
            if (sync.stopping) {
                return;
            }
            PendingNotice pending;
            if (!sources.TakeNoticeLocked(pending) && !captures.TakeNoticeLocked(pending)) {
                break;
            }
            sync.dispatching = pending.id;
            lock.unlock();
            pending.report();
            pending = {};
            lock.lock();
            sync.dispatching = 0;
            sync.dispatchDone.notify_all();
        }
    }
}

void SoundEngine::Impl::CueFaderApplied(Bus bus, BusFader fader) {
    {
        std::lock_guard lock(sync.mutex);
        faders[static_cast<std::size_t>(bus)] = fader;
    }
    if (config.cueFaderApplied) {
        config.cueFaderApplied(bus, fader);
    }
}

void SoundEngine::Impl::CutOff() {
    output.Flush();
    fastFeed.Request();
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
    return m_impl->sources.Add(std::move(decoder), Bus::Wave, SourceTable::kFileRingFrames,
                               SourceTable::Feed::Fast, id);
}

EngineStatus SoundEngine::OpenMidi(const std::string& path, const std::string& soundFont,
                                   SourceId& id) {
    id = 0;
    EngineStatus status;
    std::unique_ptr<MidiDecoder> decoder = MidiDecoder::Open(path, soundFont, m_impl->pool, status);
    if (!decoder) {
        return status;
    }
    return m_impl->sources.Add(std::move(decoder), Bus::Synth, SourceTable::kMidiRingFrames,
                               SourceTable::Feed::Fast, id);
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
    decoder->SetReadHook(m_impl->config.cdReadHook);
    return m_impl->sources.Add(std::move(decoder), Bus::Cd, SourceTable::kCdRingFrames,
                               SourceTable::Feed::Slow, id);
}

EngineStatus SoundEngine::Play(SourceId id, EndHandler onEnd, std::uint64_t* playSerial,
                               NearEndHandler onNearEnd) {
    return m_impl->sources.Play(id, 0, std::move(onEnd), std::move(onNearEnd), playSerial);
}

EngineStatus SoundEngine::PlayAfter(SourceId id, SourceId after, EndHandler onEnd,
                                    std::uint64_t* playSerial, NearEndHandler onNearEnd) {
    return m_impl->sources.Play(id, after, std::move(onEnd), std::move(onNearEnd), playSerial);
}

EngineStatus SoundEngine::Stop(SourceId id) {
    bool cut = false;
    EngineStatus status = m_impl->sources.Stop(id, cut);
    if (cut) {
        m_impl->CutOff();
    }
    return status;
}

EngineStatus SoundEngine::Seek(SourceId id, std::uint64_t frame) {
    return m_impl->sources.Seek(id, frame);
}

void SoundEngine::Close(SourceId id) {
    if (m_impl->sources.Close(id)) {
        m_impl->CutOff();
    }
}

bool SoundEngine::IsOpen(SourceId id) const {
    return m_impl->sources.IsOpen(id);
}

bool SoundEngine::IsPlaying(SourceId id) const {
    return m_impl->sources.IsPlaying(id);
}

std::uint64_t SoundEngine::Position(SourceId id) const {
    return m_impl->sources.Position(id);
}

std::uint64_t SoundEngine::Length(SourceId id) const {
    return m_impl->sources.Length(id);
}

void SoundEngine::SetBusFader(Bus bus, std::uint16_t left, std::uint16_t right) {
    std::lock_guard lock(m_impl->sync.mutex);
    m_impl->faders[static_cast<std::size_t>(bus)] = {left, right};
    m_impl->core.SetBusGain(bus, FaderToGain(left), FaderToGain(right));
    if (bus == Bus::Microphone) {
        m_impl->captures.SetGains(FaderToGain(left), FaderToGain(right));
    }
}

void SoundEngine::SetBusFaderAtCue(Bus bus, std::uint16_t left, std::uint16_t right) {
    m_impl->sources.SetCueFader(bus, {left, right});
}

BusFader SoundEngine::GetBusFader(Bus bus) const {
    std::lock_guard lock(m_impl->sync.mutex);
    return m_impl->faders[static_cast<std::size_t>(bus)];
}

float SoundEngine::BusGain(Bus bus, int channel) const {
    return m_impl->core.BusGain(bus, channel);
}

EngineStatus SoundEngine::ProbeOutput() {
    auto probe = std::make_shared<std::promise<EngineStatus>>();
    std::future<EngineStatus> result = probe->get_future();
    {
        std::lock_guard lock(m_impl->sync.mutex);
        m_impl->probes.push_back(probe);
    }
    m_impl->fastFeed.Request();
    if (result.wait_for(m_impl->config.probeTimeout) != std::future_status::ready) {
        return EngineStatus::Fail(EngineError::NoOutput, "The sound output did not answer");
    }
    return result.get();
}

EngineStatus SoundEngine::ProbeSoundFont(const std::string& soundFont) {
    return m_impl->pool.Probe(soundFont);
}

EngineStatus SoundEngine::ReadCd(const std::string& device, CdToc& toc) {
    toc = CdToc{};
    EngineStatus status;
    std::unique_ptr<CdDisc> disc = CdDisc::Open(device, status);
    if (disc) {
        toc = disc->Toc();
    }
    return status;
}

int SoundEngine::MixRate() const {
    return m_impl->config.mixRate;
}

SoundEngine::Stats SoundEngine::GetStats() const {
    Stats stats;
    stats.deviceOpens = m_impl->output.Opens();
    stats.deviceLosses = m_impl->output.Losses();
    stats.deviceOpenFailures = m_impl->output.OpenFailures();
    stats.callbacks = m_impl->core.Callbacks();
    stats.underruns = m_impl->core.Underruns();
    stats.deviceOpen = m_impl->output.IsOpen();
    stats.driver = m_impl->output.Driver();
    if (stats.driver.empty()) {
        stats.driver = m_impl->devices.DriverName();
    }
    stats.captureOpens = m_impl->captures.Opens();
    stats.captureLosses = m_impl->captures.Losses();
    stats.captureOverruns = m_impl->captures.Overruns();
    stats.captureDevicesAlive = m_impl->captures.DevicesAlive();
    return stats;
}

EngineStatus SoundEngine::OpenCapture(const PcmFormat& format, SourceId& id) {
    return m_impl->captures.Open(format, id);
}

EngineStatus SoundEngine::SetCaptureFormat(SourceId id, const PcmFormat& format) {
    return m_impl->captures.SetFormat(id, format);
}

PcmFormat SoundEngine::CaptureFormat(SourceId id) const {
    return m_impl->captures.Format(id);
}

EngineStatus SoundEngine::StartCapture(SourceId id, EndHandler onEnd, std::uint64_t* serial) {
    return m_impl->captures.Start(id, std::move(onEnd), serial);
}

EngineStatus SoundEngine::StopCapture(SourceId id) {
    return m_impl->captures.Stop(id);
}

bool SoundEngine::IsCapturing(SourceId id) const {
    return m_impl->captures.IsCapturing(id);
}

std::uint64_t SoundEngine::CapturedFrames(SourceId id) const {
    return m_impl->captures.CapturedFrames(id);
}

EngineStatus SoundEngine::SaveCapture(SourceId id, const std::string& path) {
    return m_impl->captures.Save(id, path);
}

void SoundEngine::CloseCapture(SourceId id) {
    m_impl->captures.Close(id);
}
