#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testaudio {

/// Records what the private sound server plays: runs `parec` on the default sink's monitor
/// (quillon_out.monitor) as 44100 Hz stereo 16-bit, with 20 ms latency so data arrives
/// steadily. Needs the server that scripts/test starts (XDG_RUNTIME_DIR).
///
///     AudioCapture capture;              // starts recording
///     capture.WaitUntilRunning();         // data flows
///     ... play something ...
///     std::vector<float> s = capture.Stop();   // interleaved stereo float
///
/// Frame i of the result was played about Start() + i / 44100 s (give or take the server's
/// latency of some tens of milliseconds).
class AudioCapture {
public:
    static constexpr int kRate = 44100;

    explicit AudioCapture(std::string source = "quillon_out.monitor");
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    /// Waits until the first data came (false on timeout or when parec could not start).
    bool WaitUntilRunning(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    /// Frames recorded so far.
    std::size_t Frames() const;
    /// When the first data arrived (its frame 0 was played about then).
    std::chrono::steady_clock::time_point StartTime() const;
    /// A copy of the last frames recorded so far (fewer at the start), while recording goes on.
    std::vector<float> Latest(std::size_t frames) const;
    /// Stops recording; returns everything recorded (stereo interleaved, [-1, 1]).
    std::vector<float> Stop();
    /// Frames recorded, as seconds.
    double Seconds() const { return static_cast<double>(Frames()) / kRate; }

private:
    void ReadLoop();

    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::vector<std::int16_t> m_samples;
    std::chrono::steady_clock::time_point m_start{};
    bool m_started = false;
};

/// Reads what SDL's "disk" driver wrote (raw interleaved stereo float, no header).
std::vector<float> ReadRawStereoFloat(const std::string& path);

} // namespace testaudio
