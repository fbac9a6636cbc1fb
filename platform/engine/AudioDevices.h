#pragma once

#include "platform/engine/SdlAudioDevice.h"
#include "platform/engine/SdlAudioSubsystem.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

/// SDL's audio as one engine uses it: opens the engine's devices, closes those whose close may
/// hang on threads of their own, and holds the one rule for restarting SDL's audio.
///
/// The restart rule. SDL keeps the driver it found when its audio started: a fallback when the
/// sound server was not up then. Starting SDL's audio again lets it find the server. A restart
/// closes every device underneath, so it is done only while no device of this engine is open
/// or still closing, no other engine holds SDL's audio, and SDL_AUDIODRIVER does not pin the
/// driver.
///
/// Thread-safe: the engine's fast feeder opens the output and its capture thread the inputs;
/// SDL's own bookkeeping of open devices is not, so opens and restarts take turns.
class AudioDevices {
public:
    /// Closes waited for apart: a capture close that hangs must not hold up the output.
    enum class Group { Output = 0, Capture = 1 };

    AudioDevices();
    /// Waits a few seconds for closes still running. When one hangs, SDL's audio is left up:
    /// quitting it would close that device a second time.
    ~AudioDevices();
    AudioDevices(const AudioDevices&) = delete;
    AudioDevices& operator=(const AudioDevices&) = delete;

    /// The output: straight to a PulseAudio server when one answers (unless SDL_AUDIODRIVER
    /// pins SDL's driver), else an SDL device; nullptr and error on failure.
    std::unique_ptr<AudioStream> OpenOutput(int rate, int frames, SdlAudioDevice::Samples samples,
                                            AudioStream::Fill fill, void* userdata,
                                            std::string& error);
    /// Opens and starts an SDL device, starting SDL's audio first when it is down; nullptr and
    /// error on failure.
    std::unique_ptr<SdlAudioDevice> Open(SdlAudioDevice::Direction direction, int rate, int frames,
                                         SdlAudioDevice::Samples samples,
                                         SDL_AudioCallback callback, void* userdata,
                                         std::string& error);
    /// Closes a device on a detached thread of its own, then lets keep go (what its callback
    /// reaches): a close can hang inside the sound library. Counted until done.
    void CloseLater(Group group, std::unique_ptr<AudioStream> device, std::shared_ptr<void> keep);
    /// True once no close of the group runs, waiting up to timeout.
    bool WaitForCloses(Group group, std::chrono::milliseconds timeout);
    int ClosesRunning(Group group) const;

    /// The restart rule above; true when SDL's audio was started again.
    bool RestartIfIdle();
    /// SDL's driver ("pulseaudio", "disk", ...), or "".
    std::string DriverName() const;

private:
    // Outlives the engine when a close hangs: the closing thread still counts down in it.
    struct Closes {
        mutable std::mutex mutex;
        std::condition_variable done;
        std::array<int, 2> running{};
    };

    mutable std::mutex m_sdlMutex; // opens and restarts
    std::unique_ptr<SdlAudioSubsystem> m_sdl;
    std::shared_ptr<std::atomic<int>> m_live; // devices open or still closing
    std::shared_ptr<Closes> m_closes;
};
