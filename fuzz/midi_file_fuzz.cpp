// The MIDI file check on arbitrary bytes (Standard MIDI Files and their RIFF wrapping): it may
// refuse them, but never crash or read beyond them, and what it accepts is a well-formed SMF
// that passes the check again by itself.

#include "platform/engine/MidiFile.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MidiFile file;
    if (!file.Parse(std::vector<std::uint8_t>(data, data + size))) {
        if (file.Error().empty()) {
            std::abort(); // a refusal always says why
        }
        return 0;
    }
    MidiFile unwrapped;
    if (!unwrapped.Parse(file.Smf()) || unwrapped.WasRiff() ||
        unwrapped.TrackCount() != file.TrackCount()) {
        std::abort();
    }
    return 0;
}
