#pragma once

#include "platform/engine/AudioStream.h"

#include <SDL.h>

#include <atomic>
#include <memory>
#include <string>

/// One opened SDL audio device, the default output or the default input, running from the
/// moment it opens until it is destroyed. Stereo, float or 16-bit, at the rate asked for: SDL
/// converts when the hardware differs (and the sound server turns a mono microphone into
/// stereo).
///
/// Destroying a capture device can hang inside the sound library when the input stopped
/// delivering data (a stalled server): the engine destroys those on threads of their own.
class SdlAudioDevice final : public AudioStream {
public:
    enum class Direction { Output, Capture };
    /// What the callback's buffer holds: float samples, or signed 16-bit ones (which a sound
    /// server takes without converting them).
    enum class Samples { Float, Int16 };

    /// Opens and starts the device; nullptr and error on failure. live counts the device from
    /// its open until its close has returned.
    static std::unique_ptr<SdlAudioDevice>
    Open(Direction direction, int rate, int frames, Samples samples, SDL_AudioCallback callback,
         void* userdata, std::shared_ptr<std::atomic<int>> live, std::string& error);
    ~SdlAudioDevice() override;
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

    SDL_AudioDeviceID Id() const { return m_id; }
    /// True once SDL has given the device up (sound server gone, hardware unplugged). A lost
    /// capture device goes on calling the callback with silence.
    bool IsLost() const override;
    std::string Driver() const override { return m_driver; }

private:
    SdlAudioDevice(SDL_AudioDeviceID id, std::shared_ptr<std::atomic<int>> live)
        : m_id(id)
        , m_live(std::move(live)) {}
    SDL_AudioDeviceID m_id;
    std::shared_ptr<std::atomic<int>> m_live;
    std::string m_driver;
};
