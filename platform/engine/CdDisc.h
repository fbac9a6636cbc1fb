#pragma once

#include "platform/engine/CdHandles.h"
#include "platform/engine/EngineTypes.h"

#include <cstdint>
#include <memory>
#include <string>

/// An audio CD: a drive, or a CUE/BIN image that libcdio opens like one. Reads the table of
/// contents once at open.
///
/// Device names: "" is libcdio's default drive; a path ending in ".cue" is an image (libcdio
/// reads the BIN with the same base name, whatever the CUE's FILE line says); anything else is
/// a drive path (or another image kind libcdio recognises).
///
/// Positions are logical sector numbers (LSN): 75 sectors a second, 588 stereo frames of
/// 16-bit samples (2352 bytes) a sector. Tracks play from their own start to the next track's
/// start; the last one to the lead-out.
class CdDisc {
public:
    static constexpr int kFramesPerSector = CdToc::kFramesPerSector;
    static constexpr int kSectorsPerSecond = CdToc::kSectorsPerSecond;
    static constexpr int kSampleRate = CdToc::kSampleRate;

    static std::unique_ptr<CdDisc> Open(const std::string& device, EngineStatus& status);

    const std::string& Device() const { return m_device; }
    bool IsImage() const { return m_image; }
    int FirstTrack() const { return m_first; }
    int LastTrack() const { return m_first + m_count - 1; }
    int TrackCount() const { return m_count; }
    /// First sector of a track; LastTrack() + 1 gives the lead-out.
    std::int32_t TrackStart(int track) const;
    std::int32_t Leadout() const { return m_leadout; }
    bool IsAudioTrack(int track) const;
    CdIo_t* Handle() const { return m_cdio.get(); }
    /// The table of contents as the engine's callers see it.
    CdToc Toc() const;

    /// The device that "" stands for: CDIO's default drive, or "" when there is none.
    static std::string DefaultDrive();

private:
    CdDisc() = default;

    CdIoPtr m_cdio;
    std::string m_device;
    bool m_image = false;
    int m_first = 1;
    int m_count = 0;
    std::int32_t m_leadout = 0;
};
