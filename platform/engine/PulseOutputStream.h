#pragma once

#include "platform/engine/AudioStream.h"

#include <atomic>
#include <memory>
#include <string>

#include <pulse/sample.h>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

/// The engine's output straight to a PulseAudio server (PipeWire's too), without SDL: a stream
/// of stereo samples that holds `frames` frames in the server, filled by the fill callback on
/// libpulse's own thread whenever the server asks for more. Unlike an SDL device, what the
/// server holds can be dropped at once (Flush): the buffer can be as large as keeps the CPU
/// low, and a stop is still heard at once.
///
/// Open gives up after a couple of seconds when a server does not answer.
class PulseOutputStream final : public AudioStream {
public:
    /// nullptr and error when no server can be reached or the stream cannot start.
    static std::unique_ptr<PulseOutputStream> Open(int rate, int frames, bool int16, Fill fill,
                                                   void* userdata, std::string& error);
    ~PulseOutputStream() override;
    PulseOutputStream(const PulseOutputStream&) = delete;
    PulseOutputStream& operator=(const PulseOutputStream&) = delete;

    bool IsLost() const override { return m_lost.load(); }
    bool Flush() override;
    void Drain() override;
    std::string Driver() const override { return "pulseaudio"; }

private:
    PulseOutputStream(Fill fill, void* userdata)
        : m_fill(fill)
        , m_userdata(userdata) {}
    bool Start(int rate, int frames, bool int16, std::string& error);

    static void ContextChanged(pa_context* context, void* self);
    static void StreamChanged(pa_stream* stream, void* self);
    static void Write(pa_stream* stream, std::size_t bytes, void* self);

    const Fill m_fill;
    void* const m_userdata;
    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    std::atomic<bool> m_lost{false};
    bool m_timedOut = false; // under the mainloop's lock
    pa_usec_t m_bufferTime = 0;
};
