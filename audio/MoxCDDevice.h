#pragma once

#include "audio/MoxDevice.h"

#include <optional>

/// The shared CD audio player. Ready only when a disc's track count could be read at start-up.
/// Item names are "Track N"; a track plays from its start to the next track's start.
class MoxCDDevice : public MoxDevice {
public:
    static constexpr DWORD maxTracks = 100;

    explicit MoxCDDevice(const MoxDeviceEnvironment& environment);
    ~MoxCDDevice() override;

    bool Play(const std::string& name) override;
    void Stop() override;
    MCIERROR Probe() override;

    /// The number of tracks found at start-up, at most 100.
    DWORD GetTrackCount() const { return m_trackCount; }

    /// The track number an item name gives ("Track 3" -> 3); nothing when it holds no number
    /// after the leading letters of "Track ".
    static std::optional<DWORD> TrackNumber(const std::string& name);

private:
    DWORD m_trackCount = 0;
    MCI_STATUS_PARMS m_status{};
    MCI_OPEN_PARMS m_open{};
};
