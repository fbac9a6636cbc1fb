#pragma once

#include "dsp/SampleQuantizer.h"
#include "dsp/WaveReader.h"
#include "platform/classlib/CFile.h"
#include "platform/engine/SndFileHandle.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// Writes the wave file that replaces another, atomically: the frames go to a temporary file
/// in the same folder (a CFile being created), and only Commit() puts it in place, flushed to
/// disk and renamed over the old one. Destroyed without Commit(), or when Commit() fails, it
/// leaves the old file as it was and removes the temporary one.
///
/// Float samples become the file's own sample kind: rounded to its integer width (8-bit with
/// TPDF dither, see SampleQuantizer) and clipped at full scale, or stored as they are in a
/// float file.
class WaveWriter {
public:
    /// nullptr and error (a sentence for the user) on failure.
    static std::unique_ptr<WaveWriter> Create(const std::string& path, const WaveFileFormat& format,
                                              const SoundFileTags& tags, std::string& error);
    WaveWriter(const WaveWriter&) = delete;
    WaveWriter& operator=(const WaveWriter&) = delete;

    /// How samples for format are rounded: nothing for a float file.
    static std::optional<SampleQuantizer> QuantizerFor(const WaveFileFormat& format);

    bool Write(const float* interleaved, std::size_t frames, std::string& error);
    bool Commit(std::string& error);

private:
    WaveWriter() = default;

    CFile m_file; // declared before m_sound: libsndfile lets go of the descriptor first
    SndFileHandle m_sound;
    int m_channels = 0;
    std::optional<SampleQuantizer> m_quantizer;
    std::vector<int> m_ints;
};
