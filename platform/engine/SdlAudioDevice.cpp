#include "platform/engine/SdlAudioDevice.h"

std::unique_ptr<SdlAudioDevice> SdlAudioDevice::Open(Direction direction, int rate, int frames,
                                                     Samples samples, SDL_AudioCallback callback,
                                                     void* userdata,
                                                     std::shared_ptr<std::atomic<int>> live,
                                                     std::string& error) {
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = rate;
    want.format = samples == Samples::Int16 ? AUDIO_S16SYS : AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(frames);
    want.callback = callback;
    want.userdata = userdata;
    // No allowed changes: the callback always sees this format, SDL converts behind it.
    SDL_AudioDeviceID id =
        SDL_OpenAudioDevice(nullptr, direction == Direction::Capture ? 1 : 0, &want, &have, 0);
    if (id == 0) {
        error = SDL_GetError();
        return nullptr;
    }
    live->fetch_add(1);
    SDL_PauseAudioDevice(id, 0);
    std::unique_ptr<SdlAudioDevice> device(new SdlAudioDevice(id, std::move(live)));
    const char* driver = SDL_GetCurrentAudioDriver();
    device->m_driver = driver != nullptr ? driver : "";
    return device;
}

SdlAudioDevice::~SdlAudioDevice() {
    SDL_CloseAudioDevice(m_id);
    m_live->fetch_sub(1);
}

bool SdlAudioDevice::IsLost() const {
    return SDL_GetAudioDeviceStatus(m_id) == SDL_AUDIO_STOPPED;
}
