#pragma once

#include "platform/engine/SndFileHandle.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

/// What a wave file holds: libsndfile's format code (major | subtype), channels and rate.
struct WaveFileFormat {
    int format = 0;
    int channels = 0;
    int rate = 0;

    /// The width of the integers the file stores its samples as (8, 16, 24 or 32), which a
    /// processed float sample must be rounded to on its way back in; 16 for the compressed
    /// kinds (µ-law, A-law, ADPCM, GSM), whose encoders take 16-bit samples; 0 for float files.
    int IntegerBits() const;
};

/// Text tags of a sound file: libsndfile's string ids (SF_STR_TITLE ...) with their values.
using SoundFileTags = std::vector<std::pair<int, std::string>>;

/// Reads a RIFF wave file (WAVE or WAVE_FORMAT_EXTENSIBLE) of any sample kind libsndfile
/// decodes, as interleaved float with full scale at 1.0: integer samples are converted
/// exactly (an 8-bit 255 reads as 127/128), never through libsndfile's own float scaling, so a
/// file read and written back unchanged keeps every sample.
///
/// It refuses, with a sentence for the user, what cannot be processed safely: no regular file,
/// an empty file, chunk lengths that run past the end (a cut-off file), anything libsndfile
/// cannot open or that is not a wave file, more than kMaxChannels channels, a rate outside
/// kLowestRate..kHighestRate. Sentences do not name the file: the caller knows which it is.
class WaveReader {
public:
    static constexpr int kMaxChannels = 8;
    static constexpr int kLowestRate = 4000;
    static constexpr int kHighestRate = 384000;

    /// nullptr and error on failure.
    static std::unique_ptr<WaveReader> Open(const std::string& path, std::string& error);

    const WaveFileFormat& Format() const { return m_format; }
    SoundFileTags Tags() const;

    /// Reads up to frames frames; returns how many, 0 at the end, -1 when the sound data is
    /// damaged (Error() says how).
    long Read(float* interleaved, long frames);
    /// Back to the first frame; false (with Error()) when the file cannot seek.
    bool Rewind();
    const std::string& Error() const { return m_error; }

private:
    WaveReader() = default;

    SndFileHandle m_file;
    WaveFileFormat m_format;
    bool m_integer = true;
    std::vector<int> m_ints;
    std::string m_error;
};
