#pragma once

#include <cstdint>
#include <string>

/// An opened output or input of the engine, running from its open until it is destroyed.
class AudioStream {
public:
    /// What a stream calls to be filled: interleaved stereo samples, length bytes (the shape of
    /// SDL's audio callback, whichever library runs it).
    using Fill = void (*)(void* userdata, std::uint8_t* stream, int length);

    virtual ~AudioStream() = default;
    /// True once the sound library has given it up (sound server gone, hardware unplugged).
    virtual bool IsLost() const = 0;
    /// Drops the sound the server holds of an output, so that what is mixed next is heard at
    /// once; false when the stream cannot.
    virtual bool Flush() { return false; }
    /// Waits until the server has played what it holds of an output (briefly: the stream's
    /// buffer at most); closing does not wait.
    virtual void Drain() {}
    /// The library and driver it runs on ("pulseaudio", SDL's "alsa", "disk", ...).
    virtual std::string Driver() const = 0;
};
