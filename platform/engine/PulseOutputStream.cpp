#include "platform/engine/PulseOutputStream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace {
constexpr pa_usec_t kConnectTimeout = 2 * PA_USEC_PER_SEC;
} // namespace

std::unique_ptr<PulseOutputStream> PulseOutputStream::Open(int rate, int frames, bool int16,
                                                           Fill fill, void* userdata,
                                                           std::string& error) {
    std::unique_ptr<PulseOutputStream> stream(new PulseOutputStream(fill, userdata));
    if (!stream->Start(rate, frames, int16, error)) {
        return nullptr;
    }
    return stream;
}

bool PulseOutputStream::Start(int rate, int frames, bool int16, std::string& error) {
    m_mainloop = pa_threaded_mainloop_new();
    if (m_mainloop == nullptr) {
        error = "PulseAudio's main loop cannot start";
        return false;
    }
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Quillon");
    if (m_context == nullptr) {
        error = "PulseAudio's context cannot be made";
        return false;
    }
    pa_context_set_state_callback(m_context, &ContextChanged, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(m_mainloop) < 0) {
        error = std::string("No PulseAudio server: ") + pa_strerror(pa_context_errno(m_context));
        return false;
    }
    pa_threaded_mainloop_lock(m_mainloop);
    // A server that accepts the connection but never answers would hold the feeder for good.
    pa_time_event* timer = pa_context_rttime_new(
        m_context, pa_rtclock_now() + kConnectTimeout,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
            auto* stream = static_cast<PulseOutputStream*>(self);
            stream->m_timedOut = true;
            pa_threaded_mainloop_signal(stream->m_mainloop, 0);
        },
        this);
    bool ready = false;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(m_context);
        if (state == PA_CONTEXT_READY) {
            ready = true;
            break;
        }
        if (!PA_CONTEXT_IS_GOOD(state) || m_timedOut) {
            error = std::string("No PulseAudio server: ") +
                    (m_timedOut ? "it does not answer" : pa_strerror(pa_context_errno(m_context)));
            break;
        }
        pa_threaded_mainloop_wait(m_mainloop);
    }
    const pa_sample_spec spec{int16 ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE,
                              static_cast<std::uint32_t>(rate), 2};
    m_bufferTime = static_cast<pa_usec_t>(frames) * PA_USEC_PER_SEC / static_cast<pa_usec_t>(rate);
    if (ready) {
        m_stream = pa_stream_new(m_context, "Quillon", &spec, nullptr);
        if (m_stream == nullptr) {
            error = std::string("PulseAudio refuses the stream: ") +
                    pa_strerror(pa_context_errno(m_context));
            ready = false;
        }
    }
    if (ready) {
        pa_stream_set_state_callback(m_stream, &StreamChanged, this);
        pa_stream_set_write_callback(m_stream, &Write, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_frame_size(&spec) * frames);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0) {
            ready = false;
        }
        while (ready) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY) {
                break;
            }
            if (!PA_STREAM_IS_GOOD(state) || m_timedOut) {
                ready = false;
                break;
            }
            pa_threaded_mainloop_wait(m_mainloop);
        }
        if (!ready) {
            error = std::string("PulseAudio refuses the stream: ") +
                    pa_strerror(pa_context_errno(m_context));
        }
    }
    if (timer != nullptr) {
        pa_threaded_mainloop_get_api(m_mainloop)->time_free(timer);
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    return ready;
}

PulseOutputStream::~PulseOutputStream() {
    if (m_mainloop == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(m_mainloop);
    if (m_stream != nullptr) {
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
    if (m_context != nullptr) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

bool PulseOutputStream::Flush() {
    pa_threaded_mainloop_lock(m_mainloop);
    if (pa_operation* operation = pa_stream_flush(m_stream, nullptr, nullptr)) {
        pa_operation_unref(operation);
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    return true;
}

void PulseOutputStream::Drain() {
    if (m_lost) {
        return;
    }
    pa_threaded_mainloop_lock(m_mainloop);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr); // nothing more to play
    m_timedOut = false;
    pa_time_event* timer = pa_context_rttime_new(
        m_context, pa_rtclock_now() + 2 * m_bufferTime + PA_USEC_PER_SEC / 2,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
            auto* stream = static_cast<PulseOutputStream*>(self);
            stream->m_timedOut = true;
            pa_threaded_mainloop_signal(stream->m_mainloop, 0);
        },
        this);
    pa_operation* operation = pa_stream_drain(
        m_stream,
        [](pa_stream*, int, void* self) {
            pa_threaded_mainloop_signal(static_cast<PulseOutputStream*>(self)->m_mainloop, 0);
        },
        this);
    while (operation != nullptr && pa_operation_get_state(operation) == PA_OPERATION_RUNNING &&
           !m_timedOut && !m_lost) {
        pa_threaded_mainloop_wait(m_mainloop);
    }
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
    if (timer != nullptr) {
        pa_threaded_mainloop_get_api(m_mainloop)->time_free(timer);
    }
    pa_threaded_mainloop_unlock(m_mainloop);
}

void PulseOutputStream::ContextChanged(pa_context* context, void* self) {
    auto* stream = static_cast<PulseOutputStream*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        stream->m_lost = true;
    }
    pa_threaded_mainloop_signal(stream->m_mainloop, 0);
}

void PulseOutputStream::StreamChanged(pa_stream* s, void* self) {
    auto* stream = static_cast<PulseOutputStream*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) {
        stream->m_lost = true;
    }
    pa_threaded_mainloop_signal(stream->m_mainloop, 0);
}

// On libpulse's thread, its lock held: mixes straight into the server's memory.
void PulseOutputStream::Write(pa_stream* s, std::size_t bytes, void* self) {
    auto* stream = static_cast<PulseOutputStream*>(self);
    while (bytes > 0) {
        void* data = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(s, &data, &size) < 0 || data == nullptr || size == 0) {
            return;
        }
        stream->m_fill(stream->m_userdata, static_cast<std::uint8_t*>(data),
                       static_cast<int>(size));
        if (pa_stream_write(s, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            return;
        }
        bytes -= std::min(bytes, size);
    }
}
