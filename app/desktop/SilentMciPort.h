#pragma once

#include "platform/mci/MciPort.h"

/// A command layer for a program built without a sound engine: no device answers, so every
/// player reports itself not ready and play lists load no items.
class SilentMciPort final : public MciPort {
public:
    MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                         DWORD_PTR param) override;
    BOOL GetErrorString(MCIERROR error, char* text, UINT length) override;
    bool IsDeviceOpen(MCIDEVICEID /*device*/) override { return false; }
};
