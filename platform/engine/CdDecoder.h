#pragma once

#include "platform/engine/CdDisc.h"
#include "platform/engine/Decoder.h"
#include "platform/engine/EngineTypes.h"

#include <functional>
#include <memory>
#include <vector>

/// Reads digital audio from a CD between two sectors (end exclusive), as 44100 Hz stereo.
/// It opens the disc on its own, so the feeder thread never shares a libcdio handle.
class CdDecoder final : public Decoder {
public:
    /// Auto reads images directly and drives through paranoia.
    static std::unique_ptr<CdDecoder> Open(const std::string& device, std::int32_t startLsn,
                                           std::int32_t endLsn, CdReadMode mode,
                                           EngineStatus& status);

    /// Called before each read from the disc, on the thread that reads (tests make reads
    /// stall with it).
    void SetReadHook(std::function<void(std::int32_t sector)> hook) {
        m_readHook = std::move(hook);
    }

    int SampleRate() const override { return CdDisc::kSampleRate; }
    long Read(float* stereo, long frames) override;
    bool Seek(std::uint64_t frame) override;
    std::uint64_t LengthFrames() const override;
    const std::string& Error() const override { return m_error; }

private:
    static constexpr int kSectorsPerRead = 16;

    CdDecoder() = default;
    bool FillSectors();

    std::unique_ptr<CdDisc> m_disc;
    CddaDrivePtr m_drive;
    ParanoiaPtr m_paranoia; // after m_drive: destroyed first
    std::int32_t m_start = 0;
    std::int32_t m_end = 0;
    std::int32_t m_next = 0; // next sector to read
    std::vector<std::int16_t> m_samples;
    std::size_t m_sampleFrames = 0; // frames in m_samples
    std::size_t m_used = 0;         // frames of m_samples handed out
    bool m_failed = false;
    std::string m_error;
    std::function<void(std::int32_t)> m_readHook;
};
