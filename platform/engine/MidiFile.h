#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// Reads and checks a MIDI file before the synthesizer sees it, so that a damaged file fails
/// at open with a clear text instead of playing silence.
///
/// Standard MIDI File (all numbers big-endian):
///   "MThd" u32 length(6) u16 format(0..2) u16 tracks(>=1) u16 division (bit 15 = SMPTE,
///   which the synthesizer's player does not support), then that many chunks "MTrk" u32
///   length and the track's events, one after the other. Events: a variable-length delta time
///   (at most 4 bytes, 7 bits each, high bit = more), then a channel message (status 0x80-0xEF,
///   two data bytes, one for 0xC0-0xDF; running status repeats the last channel status), a
///   system-exclusive message (0xF0/0xF7, variable-length size, data) or a meta event (0xFF,
///   type, variable-length size, data).
///
/// RIFF MIDI (.rmi; all numbers little-endian): "RIFF" u32 size "RMID", then chunks of
///   4-byte id, u32 size and data padded to an even length; the "data" chunk holds the SMF.
///
/// As lenient as the synthesizer's own reader, and no more: bytes after the last track are
/// ignored, and the last track's length may run past the end of the file when its events
/// end (with the end-of-track event) before the file does. Every length is checked against
/// the bytes that remain before anything is copied; files larger than kMaxMidiFileBytes are
/// refused.
class MidiFile {
public:
    static constexpr std::size_t kMaxMidiFileBytes = 16u << 20;

    /// Checks bytes read from a file (SMF or RIFF MIDI). On success Smf() holds the SMF.
    bool Parse(const std::vector<std::uint8_t>& bytes);
    /// The text of the last failure.
    const std::string& Error() const { return m_error; }
    const std::vector<std::uint8_t>& Smf() const { return m_smf; }
    int Format() const { return m_format; }
    int TrackCount() const { return m_tracks; }
    /// True when the SMF came out of a RIFF wrapper.
    bool WasRiff() const { return m_riff; }

private:
    bool Fail(std::string text);
    bool ParseSmf(const std::uint8_t* data, std::size_t size);
    /// ended: the track's end-of-track event came.
    bool CheckTrack(const std::uint8_t* data, std::size_t size, int index, bool& ended);

    std::vector<std::uint8_t> m_smf;
    std::string m_error;
    int m_format = 0;
    int m_tracks = 0;
    bool m_riff = false;
};
