#pragma once

// Helpers for the recording tests: sound to record (a raw input file for SDL's "disk" driver,
// or a tone spoken into the private sound server's microphone), recordings read back, and a
// look at the spool files and the heap of the process.

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/TestSignals.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testaudio {

/// A sound file as libsndfile reads it back.
struct SoundFile {
    int rate = 0;
    int channels = 0;
    int format = 0;             ///< libsndfile's major | minor format
    std::vector<float> samples; ///< interleaved
    double Seconds() const {
        return channels == 0 ? 0.0 : static_cast<double>(samples.size()) / channels / rate;
    }
};
/// Throws std::runtime_error when the file cannot be read. A headerless file is read as `raw`.
SoundFile ReadSoundFile(const std::string& path, const WaveFormat& raw = {});

/// The "fmt " chunk of a RIFF WAVE file, found by walking its chunks, and its data size.
struct RiffFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint32_t dataBytes = 0;
    bool valid = false; ///< RIFF, WAVE, a fmt chunk and a data chunk were found
};
RiffFormat ReadRiffFormat(const std::string& path);

/// Speaks a tone into the private sound server's microphone: plays it into the null sink
/// quillon_mic, whose monitor is the default source. Stops when destroyed.
class MicrophoneTone {
public:
    /// Starts paplay with a tone of that length (44100 Hz stereo 16-bit) and waits until the
    /// tone is heard on the microphone (false from Started() when it is not within 5 s).
    MicrophoneTone(double frequency, double seconds, double amplitude = 0.5);
    ~MicrophoneTone();
    MicrophoneTone(const MicrophoneTone&) = delete;
    MicrophoneTone& operator=(const MicrophoneTone&) = delete;

    bool Started() const { return m_started; }

private:
    TempDir m_folder;
    std::unique_ptr<ChildProcess> m_player;
    bool m_started = false;
};

/// Sizes of the files this process holds open below folder (spool files have no name left,
/// but /proc/self/fd still shows where they were made).
std::vector<std::int64_t> OpenFileSizesUnder(const std::string& folder);

} // namespace testaudio
