#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/files/FileDescriptor.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// Where a recording waits between capture and save: an unnamed file (O_TMPFILE, or made and
/// unlinked at once), so an hour of recording costs disk rather than memory, and nothing is
/// left behind when the program ends or dies.
///
/// Layout: interleaved 16-bit signed samples in the machine's byte order, no header; frame n
/// starts at byte n × channels × 2. 16 bits keep both saved formats exact (8-bit is the top
/// byte). One thread at a time (the engine serialises with the capture's spool lock).
class CaptureSpool {
public:
    /// A new, empty spool in folder; nullptr and status on failure.
    static std::unique_ptr<CaptureSpool> Create(const std::string& folder, int channels,
                                                EngineStatus& status);
    CaptureSpool(const CaptureSpool&) = delete;
    CaptureSpool& operator=(const CaptureSpool&) = delete;

    int Channels() const { return m_channels; }
    /// Changes the channel count of an empty spool; false when it holds frames.
    bool SetChannels(int channels);
    std::uint64_t Frames() const { return m_frames; }

    /// Appends interleaved stereo float frames, clipped to [-1, 1], as the spool's channels
    /// (mono: the mean of left and right). False with error when the file cannot be written;
    /// what was written before stays.
    bool AppendStereo(const float* stereo, std::size_t frames, std::string& error);

    /// Writes every frame as a RIFF WAVE PCM file in format (rate, bits; channels must be the
    /// spool's) through libsndfile. The file is written beside path under a hidden temporary
    /// name and renamed over path only when complete and flushed to disk, so a failed save
    /// leaves whatever was at path before untouched. The bytes, all little-endian:
    ///    0 "RIFF", u32 size of the rest      8 "WAVE"
    ///   12 "fmt ", u32 16, u16 format tag 1 (PCM), u16 channels, u32 samples per second,
    ///      u32 bytes per second, u16 block align (channels × bits / 8), u16 bits per sample
    ///   36 "data", u32 byte count, the frames: 8-bit unsigned (128 silent) or 16-bit signed.
    /// RIFF sizes are 32-bit: the engine stops a capture before its data reaches 4 GiB.
    EngineStatus SaveWave(const std::string& path, const PcmFormat& format) const;

private:
    CaptureSpool(FileDescriptor fd, int channels);

    FileDescriptor m_fd;
    int m_channels;
    std::uint64_t m_frames = 0;
    std::vector<std::int16_t> m_buffer;
};
