#pragma once

#include "platform/engine/Decoder.h"
#include "platform/engine/SoxrHandle.h"

#include <memory>
#include <string>
#include <vector>

/// A decoder followed by the rate conversion to the output rate (libsoxr, high quality,
/// one thread): what the feeder pulls from to fill a source's ring, and what offline decoding
/// reads. Not thread-safe; the source's lock guards it.
class SourceStream {
public:
    /// A stream at the decoder's own rate when outRate is 0.
    SourceStream(std::unique_ptr<Decoder> decoder, int outRate);

    /// Fills up to frames stereo frames at the output rate; returns how many. Fewer than asked
    /// only at the end or on a failure (then AtEnd() or Failed() tells).
    std::size_t Pull(float* out, std::size_t frames);
    bool AtEnd() const { return m_ended; }
    bool Failed() const { return m_failed; }
    const std::string& Error() const {
        return m_failed && !m_error.empty() ? m_error : m_decoder->Error();
    }

    /// Restarts at a frame of the output rate. False when the decoder cannot seek there.
    bool Seek(std::uint64_t outFrame);
    /// Length at the output rate when known, else 0.
    std::uint64_t LengthFrames() const;
    int Rate() const { return m_outRate; }

private:
    std::size_t PullDirect(float* out, std::size_t frames);
    /// Reads the next block of input; false on a failure.
    bool FillInput();

    std::unique_ptr<Decoder> m_decoder;
    int m_outRate;
    SoxrPtr m_soxr; // none when the rates match
    std::vector<float> m_input;
    std::size_t m_inputFrames = 0; // frames in m_input
    std::size_t m_inputUsed = 0;   // of them, taken by the resampler
    bool m_inputEnded = false;
    bool m_ended = false;
    bool m_failed = false;
    std::string m_error;
};
