#pragma once

#include "platform/mci/MciDevice.h"

/// A cdaudio device: the disc's table of contents, read when the device opens, and a source
/// for the stretch that plays. Positions come in the device's time format: milliseconds, MSF
/// (minute, second, frame from the start of the disc, which counts the two-second lead-in
/// before sector 0) or TMSF (a track, and minute, second, frame into it); a "to" track past
/// the last one means the end of the disc. Without a position, a stopped play goes on where it
/// stopped.
class MciCdDevice final : public MciDevice {
public:
    MciCdDevice(SoundEngine& engine, MCIDEVICEID id, CdToc toc);

    MCIERROR PreparePlay(DWORD_PTR flags, const MCI_PLAY_PARMS* parms, const PlayState& state,
                         PlayStart& start) override;
    bool AcceptsTimeFormat(DWORD format) const override;
    MCIERROR Status(DWORD_PTR flags, MCI_STATUS_PARMS& parms, const PlayState& state) override;

private:
    /// The sectors [start, end) that MCI_FROM and MCI_TO name (the whole disc without them).
    MCIERROR Range(DWORD_PTR flags, const MCI_PLAY_PARMS* parms, std::int32_t& start,
                   std::int32_t& end) const;
    /// A position in the time format as a sector; isEnd allows the lead-out.
    MCIERROR ToSector(DWORD value, bool isEnd, std::int32_t& sector) const;
    DWORD_PTR FromSector(std::int32_t sector) const;

    const CdToc m_toc;
    std::int32_t m_start = 0; // first sector of the current source
};
