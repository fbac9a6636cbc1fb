#pragma once

#include "platform/engine/Decoder.h"
#include "platform/engine/EngineTypes.h"
#include "platform/engine/SndFileHandle.h"
#include "platform/engine/StereoDownmix.h"
#include "platform/files/FileDescriptor.h"

#include <memory>
#include <vector>

/// Streams a sound file through libsndfile: any rate, channel count and sample format it
/// reads, turned into stereo float (mono on both sides; more channels folded down by their
/// channel map, StereoDownmix). Only one block is held in memory at a time.
///
/// A file that becomes shorter while it plays (truncated or overwritten in place) ends with a
/// failure rather than a normal end.
class WaveDecoder final : public Decoder {
public:
    /// Opens and checks the file; on failure returns nullptr and fills status.
    static std::unique_ptr<WaveDecoder> Open(const std::string& path, EngineStatus& status);

    int SampleRate() const override { return m_rate; }
    long Read(float* stereo, long frames) override;
    bool Seek(std::uint64_t frame) override;
    std::uint64_t LengthFrames() const override { return m_frames; }
    const std::string& Error() const override { return m_error; }

    int Channels() const { return m_channels; }

private:
    WaveDecoder() = default;
    long Fail(std::string text);

    SndFileHandle m_file;
    FileDescriptor m_fd; // the file's, apart from libsndfile's: to watch its size
    std::string m_path;
    std::int64_t m_sizeAtOpen = 0;
    int m_rate = 0;
    int m_channels = 0;
    std::uint64_t m_frames = 0;
    std::uint64_t m_position = 0;
    bool m_failed = false;
    bool m_ended = false;
    std::string m_error;
    std::vector<float> m_block;
    std::unique_ptr<StereoDownmix> m_downmix;
};
