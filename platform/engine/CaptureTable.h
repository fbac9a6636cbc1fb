#pragma once

#include "platform/engine/AudioDevices.h"
#include "platform/engine/CaptureSpool.h"
#include "platform/engine/EngineSync.h"

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/// The engine's captures (recordings from the default input; see SoundEngine.h for their
/// life). The capture thread, a thread of their own, opens their devices and moves what the
/// capture callback put into each capture's ring to its spool on disk; devices are closed on
/// threads of their own.
class CaptureTable {
public:
    struct Config {
        int deviceFrames = 1024;
        std::string spoolFolder; ///< "" = $TMPDIR, else /var/tmp, else /tmp
        std::uint64_t maxBytes = 0;
        std::chrono::milliseconds startTimeout{5000};
    };

    /// wake: posted when the capture thread has something to do.
    CaptureTable(EngineSync& sync, AudioDevices& devices, Semaphore& wake, Config config);
    ~CaptureTable();
    CaptureTable(const CaptureTable&) = delete;
    CaptureTable& operator=(const CaptureTable&) = delete;

    EngineStatus Open(const PcmFormat& format, SourceId& id);
    EngineStatus SetFormat(SourceId id, const PcmFormat& format);
    PcmFormat Format(SourceId id) const;
    EngineStatus Start(SourceId id, EndHandler onEnd, std::uint64_t* serial);
    EngineStatus Stop(SourceId id);
    bool IsCapturing(SourceId id) const;
    std::uint64_t CapturedFrames(SourceId id) const;
    EngineStatus Save(SourceId id, const std::string& path);
    void Close(SourceId id);
    /// The Microphone bus's gains, which the capture callback applies.
    void SetGains(float left, float right);

    // Capture thread.
    /// Engine mutex held: notes every capture and the starts waiting for their device. True
    /// when a capture runs or waits for its device.
    bool CollectLocked();
    /// Opens the devices asked for, spools what arrived, ends captures whose device vanished,
    /// whose spool is full or cannot be written.
    void Serve();

    /// Notice thread, engine mutex held: takes the next end to report, if any.
    bool TakeNoticeLocked(PendingNotice& notice);

    std::uint64_t Opens() const { return m_opens.load(); }
    std::uint64_t Losses() const { return m_losses.load(); }
    std::uint64_t Overruns() const;
    /// Capture devices open or still closing.
    int DevicesAlive() const;

private:
    struct Gains;
    struct Shared;
    struct Context;
    struct Request;
    struct Capture;
    enum class DrainResult { Ok, Full, WriteFailed };
    using TakenRequest = std::pair<std::shared_ptr<Capture>, std::shared_ptr<Request>>;

    std::shared_ptr<Capture> Find(SourceId id) const;
    std::shared_ptr<Capture> FindLocked(SourceId id) const;
    /// Stops a capture as asked (engine mutex held): no start pending, no end to report; hands
    /// out its device and context to retire.
    void Halt(Capture& capture, std::unique_ptr<SdlAudioDevice>& device,
              std::shared_ptr<Context>& context);
    void OpenDevice(Capture& capture, Request& request);
    DrainResult Drain(Capture& capture, std::vector<float>& scratch, std::string& error);
    void End(Capture& capture, const Context* context, EndReason reason);
    void Retire(std::unique_ptr<SdlAudioDevice> device, std::shared_ptr<Context> context);

    EngineSync& m_sync;
    AudioDevices& m_devices;
    Semaphore& m_wake;
    const Config m_config;
    const std::string m_spoolFolder;
    std::shared_ptr<Gains> m_gains;
    // Engine mutex:
    std::map<SourceId, std::shared_ptr<Capture>> m_captures;
    // Capture thread only:
    std::vector<std::shared_ptr<Capture>> m_list;
    std::vector<TakenRequest> m_requests;
    std::vector<float> m_scratch;

    std::atomic<std::uint64_t> m_opens{0};
    std::atomic<std::uint64_t> m_losses{0};
};
