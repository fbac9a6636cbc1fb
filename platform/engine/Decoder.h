#pragma once

#include <cstdint>
#include <string>

/// One kind of audio source behind the engine: wave files, MIDI through the synthesizer, CD
/// sectors. A decoder produces interleaved stereo float frames at its own rate; the engine
/// converts the rate. Decoders run on whichever thread holds the source's lock (the opener,
/// then the feeder thread), never on the audio callback.
class Decoder {
public:
    virtual ~Decoder() = default;

    /// Frames per second of what Read produces.
    virtual int SampleRate() const = 0;
    /// Fills up to frames stereo frames. Returns the count, 0 at the regular end, or -1 when
    /// reading failed (Error() tells why); after the end or a failure it keeps returning so.
    virtual long Read(float* stereo, long frames) = 0;
    /// Moves to a frame (in the decoder's own rate). False when the kind cannot seek there.
    virtual bool Seek(std::uint64_t frame) = 0;
    /// Length in frames when known, else 0.
    virtual std::uint64_t LengthFrames() const = 0;
    virtual const std::string& Error() const = 0;
};
