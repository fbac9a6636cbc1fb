#include "platform/engine/OutputDevice.h"

#include <algorithm>
#include <cmath>
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
    /// 16-bit output: the float mix, made before the device opens (the callback allocates
    /// nothing); empty for float output.
    std::vector<float> mix;

    /// Mixes frames into out, or silence when the gate is shut or taken.
    void MixInto(float* out, std::size_t frames) {
        if (dead.load(std::memory_order_acquire) ||
            gate->busy.exchange(true, std::memory_order_acquire)) {
            MixCore::Silence(out, frames);
            return;
        }
        MixCore* core = gate->core.load(std::memory_order_acquire);
        if (core == nullptr || dead.load(std::memory_order_acquire)) {
            MixCore::Silence(out, frames);
        } else {
            core->Mix(out, frames);
        }
        gate->busy.store(false, std::memory_order_release);
    }

    static void SDLCALL Callback(void* userdata, Uint8* stream, int length) {
        auto* context = static_cast<Context*>(userdata);
        if (context->mix.empty()) {
            context->MixInto(reinterpret_cast<float*>(stream),
                             static_cast<std::size_t>(length) / (2 * sizeof(float)));
            return;
        }
        auto* out = reinterpret_cast<std::int16_t*>(stream);
        std::size_t left = static_cast<std::size_t>(length) / (2 * sizeof(std::int16_t)) * 2;
        while (left > 0) {
            const std::size_t samples = std::min(left, context->mix.size());
            context->MixInto(context->mix.data(), samples / 2);
            // The mix is clipped to [-1, 1] already.
            for (std::size_t i = 0; i < samples; ++i) {
                out[i] = static_cast<std::int16_t>(std::lrint(context->mix[i] * 32767.0f));
            }
            out += samples;
            left -= samples;
        }
    }
};

OutputDevice::OutputDevice(AudioDevices& devices, MixCore& core, Config config)
    : m_devices(devices)
    , m_core(core)
    , m_config(std::move(config))
    , m_gate(std::make_shared<Gate>())
    , m_backoff(kFirstRetry)
    , m_clockBuffer(static_cast<std::size_t>(m_config.frames) * 2) {
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
            // A stop not yet carried out is silent at once; else the end of the last item was
            // mixed, not yet heard: let it be heard.
            if (!m_flush.exchange(false) || !m_device->Flush()) {
                m_device->Drain();
            }
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
        // Keeping time: one period at a time.
        const auto period = std::chrono::milliseconds(1000 * m_config.frames / m_config.rate);
        return std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(
                              m_nextAttempt - std::chrono::steady_clock::now()),
                          1ms, std::max(period, 1ms));
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
    // A flush asked for while something else still plays is dropped: the output is not silent
    // anyway, and would lose what the other source already mixed. An SDL device cannot drop
    // what the server holds, but closing it does; SDL's file and null drivers hold nothing back
    // (and a file opened again would start afresh).
    if (m_flush.exchange(false) && m_device && !wanted && !m_device->Flush() &&
        m_device->Driver() != "disk" && m_device->Driver() != "dummy") {
        Close();
    }
    if (m_device && !needed && now - m_lastActive >= m_config.linger) {
        Close();
    }
    std::string error;
    // Playing that starts from silence tries the output at once rather than after the pause.
    const bool starting = wanted && !m_clockRunning;
    if (!m_device && needed && (!probes.empty() || starting || now >= m_nextAttempt)) {
        m_devices.WaitForCloses(AudioDevices::Group::Output, kCloseWait);
        if (Open(error)) {
            m_failures = 0;
            m_backoff = kFirstRetry;
            if (m_preferredDriver.empty()) {
                m_preferredDriver = m_device->Driver();
            }
            if (m_missingTold && m_config.changed) {
                m_config.changed(EngineStatus::Ok());
            }
            m_missingTold = false;
        } else {
            ++m_openFailures;
            if (!m_missingTold && m_config.changed) {
                m_config.changed(EngineStatus::Fail(
                    EngineError::NoOutput, "No sound output device can be opened: " + error));
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
    if (!m_device && wanted) {
        KeepTime(std::chrono::steady_clock::now());
    } else {
        m_clockRunning = false;
    }
    if (!m_device && !m_gate->busy.exchange(true, std::memory_order_acquire)) {
        m_core.ReapWhileIdle();
        m_gate->busy.store(false, std::memory_order_release);
    }
}

void OutputDevice::KeepTime(std::chrono::steady_clock::time_point now) {
    const auto frames = static_cast<std::uint64_t>(m_config.frames);
    if (!m_clockRunning) {
        m_clockRunning = true;
        m_clockStart = now;
        m_clockFrames = 0;
    }
    auto due = static_cast<std::uint64_t>(
        std::chrono::duration<double>(now - m_clockStart).count() * m_config.rate);
    // A feeder held up for long (a loaded machine) catches up at most a second.
    const auto rate = static_cast<std::uint64_t>(m_config.rate);
    if (due > m_clockFrames + rate) {
        m_clockFrames = due - rate;
    }
    while (m_clockFrames + frames <= due) {
        if (!m_gate->busy.exchange(true, std::memory_order_acquire)) {
            m_core.Mix(m_clockBuffer.data(), m_config.frames);
            m_gate->busy.store(false, std::memory_order_release);
        }
        m_clockFrames += frames;
    }
}

bool OutputDevice::Open(std::string& error) {
    auto context = std::make_shared<Context>();
    context->gate = m_gate;
    if (m_config.samples == SdlAudioDevice::Samples::Int16) {
        context->mix.resize(static_cast<std::size_t>(m_config.frames) * 2);
    }
    m_device = m_devices.OpenOutput(m_config.rate, m_config.frames, m_config.samples,
                                    &Context::Callback, context.get(), error);
    if (!m_device) {
        return false;
    }
    {
        std::lock_guard lock(m_driverMutex);
        m_lastDriver = m_device->Driver();
    }
    m_context = std::move(context);
    ++m_opens;
    m_open = true;
    return true;
}

std::string OutputDevice::Driver() const {
    std::lock_guard lock(m_driverMutex);
    return m_lastDriver;
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
