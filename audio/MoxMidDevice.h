#pragma once

#include "audio/MoxDevice.h"

/// The shared MIDI file player. Item names are bare file names in the data folder's
/// "Midi Files" folder, found without regard to case.
class MoxMidDevice : public MoxDevice {
public:
    explicit MoxMidDevice(const MoxDeviceEnvironment& environment);
    ~MoxMidDevice() override;

    bool Play(const std::string& name) override { return PlayItem(name); }
    void Stop() override { StopItem(); }
    bool CanCue() const override { return true; }
    MCIERROR Probe() override;

    /// The folder of the data folder that MIDI items are found in.
    static std::string Folder();

protected:
    bool OpenItem(const std::string& name, MCIDEVICEID& id, DWORD& flags,
                  MCI_PLAY_PARMS& play) override;
    std::string PlayFailure() const override { return "Unable to play the Midi file.  Reason: "; }
};
