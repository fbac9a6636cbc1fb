#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace testaudio {

/// Records what the private sound server plays: `parec` on the default sink's monitor
/// (quillon_out.monitor) writes 44100 Hz stereo 16-bit into a file, read as it grows (20 ms
/// latency, so data arrives steadily). Needs the server that scripts/test starts
/// (XDG_RUNTIME_DIR).
///
///     AudioCapture capture;              // starts recording
///     capture.WaitUntilRunning();         // data flows
///     ... play something ...
///     std::vector<float> s = capture.Stop();   // interleaved stereo float
///
/// Frame i of the result was played about i / 44100 s after the first data came (give or take
/// the server's latency of some tens of milliseconds).
class AudioCapture {
public:
    static constexpr int kRate = 44100;

    explicit AudioCapture(const std::string& source = "quillon_out.monitor");
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    /// Waits until the first data came (false on timeout or when parec could not start).
    bool WaitUntilRunning(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    /// Frames recorded so far.
    std::size_t Frames() const;
    /// A copy of the last frames recorded so far (fewer at the start), while recording goes on.
    std::vector<float> Latest(std::size_t frames) const;
    /// Stops recording; returns everything recorded (stereo interleaved, [-1, 1]).
    std::vector<float> Stop();

private:
    std::vector<float> read(std::size_t first, std::size_t frames) const;

    TempDir m_folder;
    std::string m_path;
    std::unique_ptr<ChildProcess> m_parec;
};

} // namespace testaudio
