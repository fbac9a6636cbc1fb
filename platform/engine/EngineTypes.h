#pragma once

// Small value types shared by the sound engine and the layers built on it. With SoundEngine.h
// the engine's only public header: nothing here names SDL, libsndfile, FluidSynth or libcdio.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// Every source plays through one bus; each bus has a left/right gain set by the mixer.
/// Microphone is the capture bus: its gain scales what is captured; nothing plays on it.
enum class Bus : int { Synth = 0, Wave = 1, Cd = 2, Microphone = 3 };
inline constexpr int kBusCount = 4;

/// A bus's level, per channel: fader positions 0 (silent) .. 65535 (unity), which the engine
/// maps through its perceptual curve (FaderCurve.h).
struct BusFader {
    std::uint16_t left = 65535;
    std::uint16_t right = 65535;
    bool operator==(const BusFader&) const = default;
};

/// Names a source for its whole life; never reused within a process.
using SourceId = std::uint64_t;

enum class EngineError {
    None,
    FileNotFound,        ///< the file (or CD image) does not exist
    FileUnreadable,      ///< it exists but cannot be read (rights, I/O error)
    InvalidFile,         ///< it was read but is not a playable file, or it is damaged
    UnsupportedEncoding, ///< a sound file whose encoding (codec, rate, channels) cannot play
    NoSoundFont,         ///< the SoundFont is missing or does not load
    NoOutput,            ///< no output device could be opened
    CdNotReady,          ///< no CD drive or image, or no disc in it
    NotAudioTrack,       ///< the CD range holds a data track
    OutOfRange,          ///< a position or track outside the item
    TooManySources,      ///< every mixer slot is taken
    Unsupported,         ///< the source kind cannot do this (e.g. seek inside MIDI)
    InvalidSource,       ///< the id names no open source
    NoInput,             ///< no input (capture) device could be opened
    WriteFailed,         ///< a recording could not be written (disk full, rights, size limit)
    Busy,                ///< not while the capture runs (save, change the format)
};

/// The result of an engine operation: a code, and for failures a text for logs and tests.
struct EngineStatus {
    EngineError error = EngineError::None;
    std::string message;

    bool ok() const { return error == EngineError::None; }
    static EngineStatus Ok() { return {}; }
    static EngineStatus Fail(EngineError e, std::string text) { return {e, std::move(text)}; }
};

/// A PCM format of a recording: what a capture is spooled and saved as.
struct PcmFormat {
    int rate = 11025;
    int channels = 1;      ///< 1 or 2
    int bitsPerSample = 8; ///< 8 (unsigned) or 16 (signed)

    int BlockAlign() const { return channels * bitsPerSample / 8; }
    bool operator==(const PcmFormat&) const = default;
};

enum class EndReason {
    Finished, ///< played to its end; a capture: its input device vanished or it is full
    Failed,   ///< reading or decoding failed after playback started; a capture: writing failed
    Disarmed, ///< a cued play will not start: what it followed was stopped or closed first
};

/// Called once when a playing source reaches its end, on the engine's notice thread (never the
/// audio callback). playSerial is the value Play returned, so that a caller can tell the end of
/// the current play from that of an earlier one that was overtaken by a Stop.
using EndHandler = std::function<void(SourceId, EndReason, std::uint64_t playSerial)>;

/// Called once, on the notice thread, when a play comes near its end (SoundEngine::Play).
using NearEndHandler = std::function<void(SourceId, std::uint64_t playSerial)>;

/// How CD sectors are read: straight (fine for images and good drives) or through the
/// paranoia layer, which verifies overlapping reads and repairs jitter on real drives. Auto
/// reads images directly and drives through paranoia.
enum class CdReadMode { Auto, Direct, Paranoia };

/// The table of contents of an audio CD, a drive or a CUE/BIN image (SoundEngine::ReadCd).
///
/// Positions are logical sector numbers (LSN): 75 sectors a second, 588 stereo frames of
/// 16-bit samples at 44100 Hz a sector. A track plays from its own start to the next track's
/// start; the last one to the lead-out.
struct CdToc {
    static constexpr int kFramesPerSector = 588;
    static constexpr int kSectorsPerSecond = 75;
    static constexpr int kSampleRate = 44100;

    /// The drive or CUE file it was read from ("" stands for the default drive and is
    /// resolved): what SoundEngine::OpenCd takes.
    std::string device;
    int firstTrack = 1;
    std::vector<std::int32_t> trackStarts; ///< first sector of each track, from firstTrack on
    std::vector<bool> audioTracks;         ///< whether each track holds audio
    std::int32_t leadout = 0;              ///< one past the last sector of the last track

    int TrackCount() const { return static_cast<int>(trackStarts.size()); }
    int LastTrack() const { return firstTrack + TrackCount() - 1; }
    /// First sector of a track; LastTrack() + 1 gives the lead-out, other tracks -1.
    std::int32_t TrackStart(int track) const {
        if (track == LastTrack() + 1) {
            return leadout;
        }
        if (track < firstTrack || track > LastTrack()) {
            return -1;
        }
        return trackStarts[static_cast<std::size_t>(track - firstTrack)];
    }
    bool IsAudioTrack(int track) const {
        return track >= firstTrack && track <= LastTrack() &&
               audioTracks[static_cast<std::size_t>(track - firstTrack)];
    }
};
