#include "platform/engine/SdlAudioSubsystem.h"

#include <SDL.h>
#include <alsa/asoundlib.h>

#include <mutex>

namespace {
// SDL's subsystem reference counting is not thread-safe; engines may live on any thread.
std::mutex g_sdlMutex;
int g_references = 0;

// Without a sound server SDL falls back to ALSA, whose library prints a dozen lines about
// missing cards on every try, and the engine tries again and again. The engine reports that
// there is no output itself; ALSA's own report stays unprinted (SDL loads the same library).
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
} // namespace

SdlAudioSubsystem::SdlAudioSubsystem() {
    std::lock_guard lock(g_sdlMutex);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Quillon");
    snd_lib_error_set_handler(&QuietAlsa);
    m_up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (m_up) {
        ++g_references;
    } else {
        m_error = SDL_GetError();
    }
}

SdlAudioSubsystem::~SdlAudioSubsystem() {
    std::lock_guard lock(g_sdlMutex);
    if (m_up) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        --g_references;
    }
}

std::string SdlAudioSubsystem::DriverName() const {
    std::lock_guard lock(g_sdlMutex);
    const char* name = m_up ? SDL_GetCurrentAudioDriver() : nullptr;
    return name != nullptr ? name : "";
}

bool SdlAudioSubsystem::Restart() {
    std::lock_guard lock(g_sdlMutex);
    if (m_up && g_references > 1) {
        return false;
    }
    if (m_up) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        --g_references;
    }
    m_up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (m_up) {
        ++g_references;
        m_error.clear();
    } else {
        m_error = SDL_GetError();
    }
    return true;
}
