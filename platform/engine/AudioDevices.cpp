#include "platform/engine/AudioDevices.h"

#include "platform/engine/PulseOutputStream.h"

#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;

namespace {
constexpr auto kShutdownWait = 3000ms;
}

AudioDevices::AudioDevices()
    : m_sdl(std::make_unique<SdlAudioSubsystem>())
    , m_live(std::make_shared<std::atomic<int>>(0))
    , m_closes(std::make_shared<Closes>()) {}

AudioDevices::~AudioDevices() {
    bool closed = WaitForCloses(Group::Output, kShutdownWait);
    closed = WaitForCloses(Group::Capture, closed ? kShutdownWait : 0ms) && closed;
    if (!closed) {
        static_cast<void>(m_sdl.release());
    }
}

std::unique_ptr<SdlAudioDevice> AudioDevices::Open(SdlAudioDevice::Direction direction, int rate,
                                                   int frames, SdlAudioDevice::Samples samples,
                                                   SDL_AudioCallback callback, void* userdata,
                                                   std::string& error) {
    std::lock_guard lock(m_sdlMutex);
    if (!m_sdl->IsUp()) {
        m_sdl->Restart();
    }
    if (!m_sdl->IsUp()) {
        error = m_sdl->Error();
        return nullptr;
    }
    return SdlAudioDevice::Open(direction, rate, frames, samples, callback, userdata, m_live,
                                error);
}

std::unique_ptr<AudioStream> AudioDevices::OpenOutput(int rate, int frames,
                                                      SdlAudioDevice::Samples samples,
                                                      AudioStream::Fill fill, void* userdata,
                                                      std::string& error) {
    if (std::getenv("SDL_AUDIODRIVER") == nullptr) {
        std::string pulseError;
        if (auto stream =
                PulseOutputStream::Open(rate, frames, samples == SdlAudioDevice::Samples::Int16,
                                        fill, userdata, pulseError)) {
            return stream;
        }
    }
    return Open(SdlAudioDevice::Direction::Output, rate, frames, samples, fill, userdata, error);
}

void AudioDevices::CloseLater(Group group, std::unique_ptr<AudioStream> device,
                              std::shared_ptr<void> keep) {
    const auto index = static_cast<std::size_t>(group);
    {
        std::lock_guard lock(m_closes->mutex);
        ++m_closes->running[index];
    }
    std::thread([device = std::move(device), keep = std::move(keep), closes = m_closes,
                 index]() mutable {
        device.reset();
        keep.reset();
        std::lock_guard lock(closes->mutex);
        --closes->running[index];
        closes->done.notify_all();
    }).detach();
}

bool AudioDevices::WaitForCloses(Group group, std::chrono::milliseconds timeout) {
    const auto index = static_cast<std::size_t>(group);
    std::unique_lock lock(m_closes->mutex);
    return m_closes->done.wait_for(lock, timeout, [&] { return m_closes->running[index] == 0; });
}

int AudioDevices::ClosesRunning(Group group) const {
    std::lock_guard lock(m_closes->mutex);
    return m_closes->running[static_cast<std::size_t>(group)];
}

bool AudioDevices::RestartIfIdle() {
    std::lock_guard lock(m_sdlMutex);
    if (m_live->load() != 0 || std::getenv("SDL_AUDIODRIVER") != nullptr) {
        return false;
    }
    return m_sdl->Restart() && m_sdl->IsUp();
}

std::string AudioDevices::DriverName() const {
    std::lock_guard lock(m_sdlMutex);
    return m_sdl ? m_sdl->DriverName() : std::string();
}
