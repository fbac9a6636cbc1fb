#pragma once

#include "platform/mci/Mci.h"

#include <string>

/// The seam through which the players send media control commands. The program uses the
/// process's command layer; tests put a recording stand-in here to check command sequences.
class MciPort {
public:
    virtual ~MciPort() = default;
    virtual MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                                 DWORD_PTR param) = 0;
    virtual BOOL GetErrorString(MCIERROR error, char* text, UINT length) = 0;
    /// True while the device id names an open device. A window that receives a notice asks
    /// this to tell a notice of the current item from one that was overtaken by a close.
    virtual bool IsDeviceOpen(MCIDEVICEID device) = 0;
    /// Why the latest command this thread sent failed, in words for people that name the
    /// file or disc and the real reason ("/data/Wave Files/a.wav: The file was not found");
    /// "" when it succeeded or the error code's text is all there is to say.
    virtual std::string LastFailure() { return {}; }
};

/// Makes port the process's command layer, the one mciSendCommand and mciGetErrorString
/// forward to (nullptr removes it). The caller keeps it alive while it is installed.
void InstallMciPort(MciPort* port);
/// The installed command layer, or nullptr.
MciPort* InstalledMciPort();
