#include "platform/engine/SourceStream.h"

namespace {
constexpr std::size_t kInputChunk = 2048;

SoxrPtr MakeResampler(int inRate, int outRate, std::string& error) {
    soxr_error_t failure = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: the feeder's own. libsoxr would otherwise start threads of its own.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    SoxrPtr soxr(soxr_create(inRate, outRate, 2, &failure, &io, &quality, &runtime));
    if (!soxr) {
        error = std::string("The rate converter cannot start: ") +
                (failure != nullptr ? failure : "unknown error");
    }
    return soxr;
}
} // namespace

SourceStream::SourceStream(std::unique_ptr<Decoder> decoder, int outRate)
    : m_decoder(std::move(decoder))
    , m_outRate(outRate > 0 ? outRate : m_decoder->SampleRate()) {
    if (m_decoder->SampleRate() != m_outRate) {
        m_soxr = MakeResampler(m_decoder->SampleRate(), m_outRate, m_error);
        m_failed = !m_soxr;
        m_input.resize(kInputChunk * 2);
    }
}

std::size_t SourceStream::PullDirect(float* out, std::size_t frames) {
    std::size_t done = 0;
    while (done < frames) {
        long got = m_decoder->Read(out + done * 2, static_cast<long>(frames - done));
        if (got < 0) {
            m_failed = true;
            break;
        }
        if (got == 0) {
            m_ended = true;
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool SourceStream::FillInput() {
    long got = m_decoder->Read(m_input.data(), static_cast<long>(kInputChunk));
    if (got < 0) {
        return false;
    }
    m_inputFrames = static_cast<std::size_t>(got);
    m_inputUsed = 0;
    m_inputEnded = got == 0;
    return true;
}

std::size_t SourceStream::Pull(float* out, std::size_t frames) {
    if (m_ended || m_failed) {
        return 0;
    }
    if (!m_soxr) {
        return PullDirect(out, frames);
    }
    std::size_t done = 0;
    while (done < frames) {
        if (m_inputUsed == m_inputFrames && !m_inputEnded && !FillInput()) {
            m_failed = true;
            break;
        }
        // No input pointer tells libsoxr that the input has ended: it then hands out the rest.
        const float* in = m_inputEnded ? nullptr : m_input.data() + m_inputUsed * 2;
        std::size_t taken = 0;
        std::size_t made = 0;
        soxr_error_t failure = soxr_process(m_soxr.get(), in, m_inputFrames - m_inputUsed, &taken,
                                            out + done * 2, frames - done, &made);
        if (failure != nullptr) {
            m_error = std::string("Converting the rate failed: ") + failure;
            m_failed = true;
            break;
        }
        m_inputUsed += taken;
        done += made;
        if (m_inputEnded && made == 0) {
            m_ended = true;
            break;
        }
    }
    return done;
}

bool SourceStream::Seek(std::uint64_t outFrame) {
    std::uint64_t frame = outFrame;
    if (m_soxr) {
        frame = outFrame * static_cast<std::uint64_t>(m_decoder->SampleRate()) /
                static_cast<std::uint64_t>(m_outRate);
    }
    if (m_failed || !m_decoder->Seek(frame)) {
        return false;
    }
    if (m_soxr) {
        soxr_clear(m_soxr.get());
        m_inputFrames = 0;
        m_inputUsed = 0;
        m_inputEnded = false;
    }
    m_ended = false;
    return true;
}

std::uint64_t SourceStream::LengthFrames() const {
    std::uint64_t frames = m_decoder->LengthFrames();
    if (!m_soxr) {
        return frames;
    }
    // What libsoxr makes of it: the input's duration at the output rate, rounded.
    auto in = static_cast<std::uint64_t>(m_decoder->SampleRate());
    auto out = static_cast<std::uint64_t>(m_outRate);
    return (frames * out + in / 2) / in;
}
