#pragma once

#include <SDL.h>

#include <memory>
#include <string>

/// One opened SDL capture device (the default input), delivering from the moment it opens
/// until it is destroyed. Stereo float at the rate asked for: the sound server converts a mono
/// microphone and resamples, SDL converts whatever else differs.
///
/// Destroying it can hang inside the sound library when the input stopped delivering data
/// (a stalled server): the engine destroys capture devices on threads of their own.
class SdlCaptureDevice {
public:
    /// Opens and starts the device; nullptr and error on failure.
    static std::unique_ptr<SdlCaptureDevice> Open(int rate, int frames, SDL_AudioCallback callback,
                                                  void* userdata, std::string& error);
    ~SdlCaptureDevice();
    SdlCaptureDevice(const SdlCaptureDevice&) = delete;
    SdlCaptureDevice& operator=(const SdlCaptureDevice&) = delete;

    SDL_AudioDeviceID Id() const { return m_id; }
    /// True once SDL has given the device up (sound server gone, microphone unplugged). SDL
    /// then goes on calling the callback with silence.
    bool IsLost() const;

private:
    explicit SdlCaptureDevice(SDL_AudioDeviceID id)
        : m_id(id) {}
    SDL_AudioDeviceID m_id;
};
