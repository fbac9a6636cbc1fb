#pragma once

#include "platform/engine/AudioDevices.h"
#include "platform/engine/EngineTypes.h"
#include "platform/engine/MixCore.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/// The life of the engine's output device, driven by the fast feeder thread: opened when
/// something plays or a probe asks, closed after `linger` of silence; a device that the sound
/// library gave up (server gone, hardware unplugged) is abandoned and the default one opened
/// again, with pauses growing from 0.1 s to 1 s. While the open keeps failing on a fallback
/// driver, every third failure may restart SDL's audio (AudioDevices' restart rule).
///
/// Without a device, what plays goes on in time all the same: the feeder mixes into nothing
/// at the output's pace, so items end when they would have and a list moves on until sound
/// comes back.
///
/// A device holds about one period of mixed sound in the sound server. When a source that
/// sounded is stopped and nothing else plays, Flush has that dropped, so that the silence is
/// heard at once (an output straight to PulseAudio can; an SDL device plays it out).
///
/// The audio callback reaches the mixing core through a gate shared by every device this
/// engine opened and outliving the engine when a close hangs, so that a late callback of such
/// a device finds a closed gate and plays silence.
class OutputDevice {
public:
    using Probe = std::shared_ptr<std::promise<EngineStatus>>;

    struct Config {
        int rate = 44100;
        int frames = 4096;
        SdlAudioDevice::Samples samples = SdlAudioDevice::Samples::Float;
        std::chrono::milliseconds linger{5000};
        /// Told when the output is missing and when it is back (SoundEngine::Config).
        std::function<void(const EngineStatus&)> changed;
    };

    OutputDevice(AudioDevices& devices, MixCore& core, Config config);
    ~OutputDevice();
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    /// Feeder thread: opens, closes or replaces the device, or keeps time without one; wanted
    /// says a source plays. Answers every probe (Ok once a device is open). With no device
    /// open, drops the voices waiting for removal from the core.
    void Manage(bool wanted, std::vector<Probe>& probes);
    /// Feeder thread: how long it may sleep before the next Manage.
    std::chrono::milliseconds PollInterval(bool wanted) const;
    /// Any thread: the sound held in the server is to be dropped if nothing plays any more.
    void Flush() { m_flush.store(true); }
    /// Closes the device (abandons a lost one) and shuts the gate: no callback reaches the
    /// core after this. For the engine's end, once the feeder thread has stopped.
    void Shutdown();

    bool IsOpen() const { return m_open.load(); }
    /// The driver of the device last opened, or "".
    std::string Driver() const;
    std::uint64_t Opens() const { return m_opens.load(); }
    std::uint64_t Losses() const { return m_losses.load(); }
    std::uint64_t OpenFailures() const { return m_openFailures.load(); }

private:
    struct Gate;
    struct Context;

    bool Open(std::string& error);
    void Close();
    void Abandon();
    /// Without a device: mixes into nothing what the output would have played by now.
    void KeepTime(std::chrono::steady_clock::time_point now);

    AudioDevices& m_devices;
    MixCore& m_core;
    const Config m_config;
    std::shared_ptr<Gate> m_gate;

    // Feeder thread only.
    std::unique_ptr<AudioStream> m_device;
    std::shared_ptr<Context> m_context;
    std::chrono::steady_clock::time_point m_lastActive{};
    std::chrono::steady_clock::time_point m_nextAttempt{};
    std::chrono::milliseconds m_backoff;
    int m_failures = 0;
    std::string m_preferredDriver; // the driver of the first device that opened
    bool m_missingTold = false;    // m_changed heard that there is no output
    bool m_clockRunning = false;   // keeping time without a device
    std::chrono::steady_clock::time_point m_clockStart{};
    std::uint64_t m_clockFrames = 0; // mixed into nothing since m_clockStart
    std::vector<float> m_clockBuffer;

    std::atomic<bool> m_flush{false};
    mutable std::mutex m_driverMutex;
    std::string m_lastDriver;
    std::atomic<bool> m_open{false};
    std::atomic<std::uint64_t> m_opens{0};
    std::atomic<std::uint64_t> m_losses{0};
    std::atomic<std::uint64_t> m_openFailures{0};
};
