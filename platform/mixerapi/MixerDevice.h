#pragma once

#include "platform/mixerapi/MixerApi.h"

#include <memory>
#include <vector>

/// One mixer device behind the mixer functions. The functions check what every device would
/// (structure sizes, null pointers, flags, handles) and hand a device only well-formed requests:
/// the structure sizes are right, the buffer pointers are set, and `query` is the query part of
/// the caller's flags. A device checks the rest (indices, line and control identifiers, counts)
/// and answers with the platform's result codes.
///
/// Devices are called from any thread, concurrently, and must synchronise themselves.
class MixerDevice {
public:
    virtual ~MixerDevice() = default;

    /// A caller opens the device (mixerOpen); a failure is returned to the caller.
    virtual MMRESULT Open() { return MMSYSERR_NOERROR; }
    /// Fills the whole structure.
    virtual MMRESULT GetDevCaps(MIXERCAPS& caps) = 0;
    /// query: MIXER_GETLINEINFOF_DESTINATION, _SOURCE, _LINEID or _COMPONENTTYPE; cbStruct is
    /// already checked and must be kept.
    virtual MMRESULT GetLineInfo(MIXERLINE& line, DWORD query) = 0;
    /// query: MIXER_GETLINECONTROLSF_ALL; cbmxctrl is sizeof(MIXERCONTROL).
    virtual MMRESULT GetLineControls(MIXERLINECONTROLS& controls, DWORD query) = 0;
    /// query: MIXER_GETCONTROLDETAILSF_VALUE or _LISTTEXT.
    virtual MMRESULT GetControlDetails(MIXERCONTROLDETAILS& details, DWORD query) = 0;
    /// query: MIXER_SETCONTROLDETAILSF_VALUE or _ONCUE.
    virtual MMRESULT SetControlDetails(const MIXERCONTROLDETAILS& details, DWORD query) = 0;
};

using MixerDevices = std::vector<std::shared_ptr<MixerDevice>>;

/// Makes `devices` the installed mixers, the device identifier being the index (at most 4096
/// devices). Returns the devices installed before. Every handle opened before becomes invalid.
/// The program installs its software mixer at start-up; tests install mixers of their own.
MixerDevices InstallMixerDevices(MixerDevices devices);
