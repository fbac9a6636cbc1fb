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

    bool Play(const std::string& name) override { return PlayItem(name); }
    void Stop() override { StopItem(); }
    bool CanCue() const override { return true; }
    MCIERROR Probe() override;

    /// The number of tracks found at start-up, at most 100.
    DWORD GetTrackCount() const { return m_trackCount; }

    /// The track number an item name gives ("Track 3" -> 3); nothing when it holds no number
    /// after the leading letters of "Track ".
    static std::optional<DWORD> TrackNumber(const std::string& name);

protected:
    bool OpenItem(const std::string& name, MCIDEVICEID& id, DWORD& flags,
                  MCI_PLAY_PARMS& play) override;
    std::string PlayFailure() const override { return "Error playing track"; }

private:
    DWORD m_trackCount = 0;
    MCI_STATUS_PARMS m_status{};
    MCI_OPEN_PARMS m_open{};
};
