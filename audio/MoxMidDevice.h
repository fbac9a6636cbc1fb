#pragma once

#include "audio/MoxDevice.h"

/// The shared MIDI file player. Item names are bare file names in the data folder's
/// "Midi Files" folder, found without regard to case.
class MoxMidDevice : public MoxDevice {
public:
    explicit MoxMidDevice(const MoxDeviceEnvironment& environment);
    ~MoxMidDevice() override;

    bool Play(const std::string& name) override;
    void Stop() override;
    MCIERROR Probe() override;

    /// The folder of the data folder that MIDI items are found in.
    static std::string Folder();
};
