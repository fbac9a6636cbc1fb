#include "platform/engine/SourceStream.h"

#include <algorithm>

namespace {
constexpr std::size_t kInputChunk = 2048;
}

SourceStream::SourceStream(std::unique_ptr<Decoder> decoder, int mixRate)
    : m_decoder(std::move(decoder))
    , m_mixRate(mixRate) {
    if (m_decoder->SampleRate() != mixRate) {
        m_resampler.emplace(m_decoder->SampleRate(), mixRate);
    }
}

std::size_t SourceStream::Pull(float* out, std::size_t frames) {
    if (m_ended || m_failed) {
        return 0;
    }
    if (!m_resampler) {
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
    std::size_t done = 0;
    while (done < frames) {
        done += m_resampler->Process(out + done * 2, frames - done);
        if (done == frames) {
            break;
        }
        if (m_resampler->Finished()) {
            m_ended = true;
            break;
        }
        std::size_t want = std::max(m_resampler->InputWanted(), kInputChunk);
        float* in = m_resampler->Input(want);
        long got = m_decoder->Read(in, static_cast<long>(want));
        if (got < 0) {
            m_failed = true;
            break;
        }
        if (got == 0) {
            m_resampler->EndInput();
        } else {
            m_resampler->CommitInput(static_cast<std::size_t>(got));
        }
    }
    return done;
}

bool SourceStream::Seek(std::uint64_t mixFrame) {
    std::uint64_t frame = mixFrame;
    if (m_resampler) {
        frame = mixFrame * static_cast<std::uint64_t>(m_decoder->SampleRate()) /
                static_cast<std::uint64_t>(m_mixRate);
    }
    if (m_failed || !m_decoder->Seek(frame)) {
        return false;
    }
    if (m_resampler) {
        m_resampler.emplace(m_decoder->SampleRate(), m_mixRate);
    }
    m_ended = false;
    return true;
}

std::uint64_t SourceStream::LengthFrames() const {
    std::uint64_t frames = m_decoder->LengthFrames();
    if (!m_resampler) {
        return frames;
    }
    auto in = static_cast<std::uint64_t>(m_decoder->SampleRate());
    auto out = static_cast<std::uint64_t>(m_mixRate);
    return (frames * out + in - 1) / in;
}
