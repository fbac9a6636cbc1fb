#pragma once

#include "audio/MoxDevice.h"

/// The shared wave file player. Item names are bare file names in the data folder's
/// "Wave Files" folder, found without regard to case.
class MoxWavDevice : public MoxDevice {
public:
    explicit MoxWavDevice(const MoxDeviceEnvironment& environment);
    ~MoxWavDevice() override;

    bool Play(const std::string& name) override;
    void Stop() override;
    MCIERROR Probe() override;

    /// The folder of the data folder that wave items are found in ("Wave Files").
    static std::string Folder();
};
