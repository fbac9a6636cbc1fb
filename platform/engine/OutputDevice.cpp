#include "platform/engine/OutputDevice.h"

#include <algorithm>
#include <thread>

using namespace std::chrono_literals;

namespace {
constexpr auto kDevicePoll = 200ms;
constexpr auto kIdleWait = 1000ms;
constexpr auto kFirstRetry = 100ms;
constexpr auto kLongestRetry = 1000ms;
constexpr auto kCloseWait = 1000ms;
} // namespace

// busy is a try-lock: whoever holds it may touch the voice slots.
struct OutputDevice::Gate {
    std::atomic<bool> busy{false};
    std::atomic<MixCore*> core{nullptr};
};

struct OutputDevice::Context {
    std::shared_ptr<Gate> gate;
    std::atomic<bool> dead{false};

    static void SDLCALL Callback(void* userdata, Uint8* stream, int length) {
        auto* context = static_cast<Context*>(userdata);
        auto* out = reinterpret_cast<float*>(stream);
        auto frames = static_cast<std::size_t>(length) / (2 * sizeof(float));
        if (context->dead.load(std::memory_order_acquire) ||
            context->gate->busy.exchange(true, std::memory_order_acquire)) {
            MixCore::Silence(out, frames);
            return;
        }
        MixCore* core = context->gate->core.load(std::memory_order_acquire);
        if (core == nullptr || context->dead.load(std::memory_order_acquire)) {
            MixCore::Silence(out, frames);
        } else {
            core->Mix(out, frames);
        }
        context->gate->busy.store(false, std::memory_order_release);
    }
};

OutputDevice::OutputDevice(AudioDevices& devices, MixCore& core, int rate, int frames,
                           std::chrono::milliseconds linger,
                           std::function<void(const EngineStatus&)> changed)
    : m_devices(devices)
    , m_core(core)
    , m_rate(rate)
    , m_frames(frames)
    , m_linger(linger)
    , m_changed(std::move(changed))
    , m_gate(std::make_shared<Gate>())
    , m_backoff(kFirstRetry) {
    m_gate->core.store(&m_core, std::memory_order_release);
}

OutputDevice::~OutputDevice() {
    Shutdown();
}

void OutputDevice::Shutdown() {
    if (m_device) {
        if (m_device->IsLost()) {
            Abandon();
        } else {
            Close();
        }
    }
    // Shut the gate: a callback of a device whose close still hangs must not reach the core.
    while (m_gate->busy.exchange(true, std::memory_order_acquire)) {
        std::this_thread::sleep_for(1ms);
    }
    m_gate->core.store(nullptr, std::memory_order_release);
    m_gate->busy.store(false, std::memory_order_release);
}

std::chrono::milliseconds OutputDevice::PollInterval(bool wanted) const {
    if (m_device) {
        return kDevicePoll;
    }
    if (wanted) {
        return std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(
                              m_nextAttempt - std::chrono::steady_clock::now()),
                          1ms, std::chrono::milliseconds(kLongestRetry));
    }
    return kIdleWait;
}

void OutputDevice::Manage(bool wanted, std::vector<Probe>& probes) {
    auto now = std::chrono::steady_clock::now();
    bool needed = wanted || !probes.empty();
    if (needed) {
        m_lastActive = now;
    }
    if (m_device && m_device->IsLost()) {
        ++m_losses;
        Abandon();
        m_nextAttempt = now;
        m_backoff = kFirstRetry;
    }
    if (m_device && !needed && now - m_lastActive >= m_linger) {
        Close();
    }
    std::string error;
    if (!m_device && needed && (!probes.empty() || now >= m_nextAttempt)) {
        m_devices.WaitForCloses(AudioDevices::Group::Output, kCloseWait);
        if (Open(error)) {
            m_failures = 0;
            m_backoff = kFirstRetry;
            if (m_preferredDriver.empty()) {
                m_preferredDriver = m_devices.DriverName();
            }
            if (m_missingTold && m_changed) {
                m_changed(EngineStatus::Ok());
            }
            m_missingTold = false;
        } else {
            ++m_openFailures;
            if (!m_missingTold && m_changed) {
                m_changed(EngineStatus::Fail(EngineError::NoOutput,
                                             "No sound output device can be opened: " + error));
            }
            m_missingTold = true;
            ++m_failures;
            m_nextAttempt = std::chrono::steady_clock::now() + m_backoff;
            m_backoff = std::min(m_backoff * 2, std::chrono::milliseconds(kLongestRetry));
            // The driver that worked before reconnects by itself and is left alone.
            bool fallback =
                m_preferredDriver.empty() || m_devices.DriverName() != m_preferredDriver;
            if (fallback && m_failures % 3 == 0) {
                m_devices.RestartIfIdle();
            }
        }
    }
    for (auto& probe : probes) {
        probe->set_value(
            m_device ? EngineStatus::Ok()
                     : EngineStatus::Fail(EngineError::NoOutput,
                                          "No sound output device can be opened: " + error));
    }
    if (!m_device && !m_gate->busy.exchange(true, std::memory_order_acquire)) {
        m_core.ReapWhileIdle();
        m_gate->busy.store(false, std::memory_order_release);
    }
}

bool OutputDevice::Open(std::string& error) {
    auto context = std::make_shared<Context>();
    context->gate = m_gate;
    m_device = m_devices.Open(SdlAudioDevice::Direction::Output, m_rate, m_frames,
                              &Context::Callback, context.get(), error);
    if (!m_device) {
        return false;
    }
    m_context = std::move(context);
    ++m_opens;
    m_open = true;
    return true;
}

void OutputDevice::Close() {
    m_context->dead.store(true, std::memory_order_release);
    m_device.reset(); // returns once SDL's thread has stopped: no callback after this
    m_context.reset();
    m_open = false;
}

void OutputDevice::Abandon() {
    // Closing a device whose sound server vanished can hang inside the sound library: close it
    // on a thread of its own, and let the engine go on with a new device meanwhile.
    m_context->dead.store(true, std::memory_order_release);
    m_open = false;
    m_devices.CloseLater(AudioDevices::Group::Output, std::move(m_device), std::move(m_context));
}
