#pragma once

#include <SDL.h>

#include <memory>
#include <string>

/// One opened SDL playback device (the default one), running from the moment it opens until
/// it is destroyed. Stereo float at the rate asked for; SDL converts when the hardware differs.
class SdlOutputDevice {
public:
    /// Opens and starts the device; nullptr and error on failure.
    static std::unique_ptr<SdlOutputDevice> Open(int rate, int frames, SDL_AudioCallback callback,
                                                 void* userdata, std::string& error);
    ~SdlOutputDevice();
    SdlOutputDevice(const SdlOutputDevice&) = delete;
    SdlOutputDevice& operator=(const SdlOutputDevice&) = delete;

    SDL_AudioDeviceID Id() const { return m_id; }
    /// True once SDL has given the device up (sound server gone, hardware unplugged).
    bool IsLost() const;

private:
    explicit SdlOutputDevice(SDL_AudioDeviceID id)
        : m_id(id) {}
    SDL_AudioDeviceID m_id;
};
