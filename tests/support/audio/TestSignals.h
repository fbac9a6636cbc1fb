#pragma once

// Test material made on the spot: sine tones as WAV files of any format libsndfile writes,
// small Standard MIDI files (and their RIFF wrapping), and CUE/BIN CD images.

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testaudio {

/// A mono sine tone; amplitude is the peak (1.0 = full scale).
std::vector<float> SineTone(double frequency, double seconds, int rate, double amplitude = 0.5);

/// A spoken announcement's stand-in: syllables (a voice of 100..220 Hz gliding, its harmonics
/// up to 4 kHz coloured by two formants) in words of one to four, with pauses between the words,
/// and one steady 1 kHz tone of a second in the middle. Normalised to peak.
struct SpeechLike {
    std::vector<float> samples;                              ///< mono
    std::vector<std::pair<std::size_t, std::size_t>> sounds; ///< [first, end) of each sound
    std::size_t tone = 0;                                    ///< which sound is the tone
    /// The pauses of at least minSeconds between sounds, each shrunk by margin seconds at both
    /// ends (where a processed sound may still ring).
    std::vector<std::pair<std::size_t, std::size_t>> Pauses(int rate, double minSeconds = 0.2,
                                                            double margin = 0.06) const;
};
SpeechLike SpeechLikeSignal(double seconds, int rate, double peak = 0.5, unsigned seed = 1);
/// Gaussian white noise of the given RMS level.
std::vector<float> WhiteNoise(std::size_t count, double rms, unsigned seed = 2);
/// The RMS level (dB) over the given stretches of a mono signal.
double RegionsRmsDb(const std::vector<float>& mono,
                    const std::vector<std::pair<std::size_t, std::size_t>>& regions);

struct WaveFormat {
    int rate = 44100;
    int channels = 2;
    /// libsndfile's major | minor format, e.g. SF_FORMAT_WAV | SF_FORMAT_PCM_U8.
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
};
/// What SDL's "disk" driver reads and writes: raw interleaved stereo float, at whatever rate
/// the device was opened.
inline constexpr WaveFormat kDiskDriverFormat{44100, 2,
                                              SF_FORMAT_RAW | SF_FORMAT_FLOAT | SF_ENDIAN_CPU};

/// Writes mono samples into every channel of a new sound file. Throws std::runtime_error.
void WriteWave(const std::string& path, const std::vector<float>& mono, const WaveFormat& format);
/// SineTone + WriteWave.
void WriteToneWave(const std::string& path, double frequency, double seconds,
                   const WaveFormat& format = {}, double amplitude = 0.5);

/// Builds a format-0 Standard MIDI File, 480 ticks a quarter note, default tempo 120 bpm
/// (a quarter note = 0.5 s), so that times can be given in seconds.
class SmfWriter {
public:
    void Program(int channel, int program);
    /// A note from start for length (seconds at the tempo set), velocity 1..127.
    void Note(double start, double length, int key, int velocity = 100, int channel = 0);
    std::vector<std::uint8_t> Bytes() const;

private:
    struct Event {
        std::uint32_t tick;
        int order; // note-offs before note-ons at the same tick
        std::vector<std::uint8_t> bytes;
    };
    std::uint32_t Ticks(double seconds) const;

    static constexpr std::uint32_t kDivision = 480;
    static constexpr std::uint32_t kTempo = 500000; ///< microseconds a quarter note
    std::vector<Event> m_events;
};

/// Wraps an SMF into a RIFF "RMID" file with one "data" chunk.
std::vector<std::uint8_t> WrapRmi(const std::vector<std::uint8_t>& smf);

/// One track of a generated CD image: a sine tone (both channels), rounded up to whole sectors.
struct CdTrackSpec {
    double frequency;
    double seconds;
};

struct CdImage {
    std::string cuePath;
    std::string binPath;
    std::vector<std::int32_t> trackStart; ///< first sector (LSN) of each track, from track 1
    std::int32_t leadout = 0;             ///< sector count of the whole image
};

/// Writes dir/base.cue and dir/base.bin: 16-bit little-endian stereo at 44100 Hz, 2352 bytes
/// (588 frames) a sector, one AUDIO track per spec, each starting with INDEX 01 right where
/// the previous ended. The two names stay paired because libcdio opens <cue base>.bin.
CdImage WriteCdImage(const std::string& dir, const std::string& base,
                     const std::vector<CdTrackSpec>& tracks, double amplitude = 0.5);

} // namespace testaudio
