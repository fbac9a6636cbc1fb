#pragma once

#include "platform/engine/Decoder.h"
#include "platform/engine/Resampler.h"

#include <memory>
#include <optional>
#include <vector>

/// A decoder followed by the rate conversion to the mixing rate: what the feeder pulls from to
/// fill a source's ring. Not thread-safe; the source's lock guards it.
class SourceStream {
public:
    SourceStream(std::unique_ptr<Decoder> decoder, int mixRate);

    /// Fills up to frames stereo frames at the mixing rate; returns how many. Fewer than asked
    /// only at the end or on a failure (then AtEnd() or Failed() tells).
    std::size_t Pull(float* out, std::size_t frames);
    bool AtEnd() const { return m_ended; }
    bool Failed() const { return m_failed; }
    const std::string& Error() const { return m_decoder->Error(); }

    /// Restarts at a frame of the mixing rate. False when the decoder cannot seek there.
    bool Seek(std::uint64_t mixFrame);
    /// Length at the mixing rate when known, else 0.
    std::uint64_t LengthFrames() const;
    Decoder& GetDecoder() { return *m_decoder; }

private:
    std::unique_ptr<Decoder> m_decoder;
    int m_mixRate;
    std::optional<Resampler> m_resampler;
    bool m_ended = false;
    bool m_failed = false;
};
