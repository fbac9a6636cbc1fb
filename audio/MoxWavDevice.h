#pragma once

#include "audio/MoxDevice.h"

/// The shared wave file player. Item names are bare file names in the data folder's
/// "Wave Files" folder, found without regard to case.
class MoxWavDevice : public MoxDevice {
public:
    explicit MoxWavDevice(const MoxDeviceEnvironment& environment);
    ~MoxWavDevice() override;

    bool Play(const std::string& name) override { return PlayItem(name); }
    void Stop() override { StopItem(); }
    bool CanCue() const override { return true; }
    MCIERROR Probe() override;

    /// The folder of the data folder that wave items are found in ("Wave Files").
    static std::string Folder();

protected:
    bool OpenItem(const std::string& name, MCIDEVICEID& id, DWORD& flags,
                  MCI_PLAY_PARMS& play) override;
    std::string PlayFailure() const override { return "Unable to play the Wave file:  Reason: "; }
};
