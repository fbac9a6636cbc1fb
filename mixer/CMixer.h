#pragma once

#include "platform/classlib/CObject.h"
#include "platform/mixerapi/MixerApi.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

class CMixerCapabilities;
class CMixerControl;
class CMixerControlDetailsData;
class CMixerLine;

/// One open mixer device: every query and change goes through here. Each call keeps the
/// platform's result as the last result (7, "Memory allocation error", when a buffer could
/// not be had) and returns true exactly when it is 0.
///
/// Capabilities, line information, line controls and list texts are asked for by the device
/// identifier; values are read and written through the open handle. The object-type flag is
/// always MIXER_OBJECTF_MIXER.
///
/// Serialised: the device identifier as one 32-bit word; loading opens that device.
/// Not thread-safe: a CMixerLineControl serialises the use of the one it holds.
class CMixer : public CObject {
public:
    using Controls = std::vector<std::unique_ptr<CMixerControl>>;
    using DetailsList = std::vector<std::unique_ptr<CMixerControlDetailsData>>;

    /// A platform buffer above this size is not attempted: the call fails as a failed
    /// allocation would. Counts come from the platform and are not trusted further.
    static constexpr std::size_t maxBufferBytes = 16 * 1024 * 1024;

    CMixer() = default;
    /// Closes the device when it is open.
    ~CMixer() override;
    CMixer(const CMixer&) = delete;
    CMixer& operator=(const CMixer&) = delete;

    void Serialize(CArchive& ar) override;

    /// Closes the handle; the handle is null afterwards whatever the result.
    virtual bool Close();
    /// The device's capabilities into caps; caps is reset on failure.
    virtual bool GetDevCaps(CMixerCapabilities& caps);
    /// Every control of the line, appended as new objects to the emptied array.
    virtual bool GetLineControls(const CMixerLine& line, Controls& controls);
    // The line (the first of that component type, a destination, a source of a destination,
    // or the line of that identifier) into `line`, which is untouched on failure.
    virtual bool GetLineInfoByComponentType(DWORD componentType, CMixerLine& line);
    virtual bool GetLineInfoBySource(DWORD destination, DWORD source, CMixerLine& line);
    virtual bool GetLineInfoByDestination(DWORD destination, CMixerLine& line);
    virtual bool GetLineInfoByLineId(DWORD lineId, CMixerLine& line);
    /// The control's current values (channel by channel), as new objects in the emptied array.
    /// Controls of units other than boolean, signed, decibels, unsigned and percent are
    /// refused (false) without a platform call.
    virtual bool GetControlDetails(const CMixerLine& line, const CMixerControl& control,
                                   DetailsList& values);
    /// The item texts of a list control, as new objects in the emptied array.
    virtual bool GetControlListText(const CMixerLine& line, const CMixerControl& control,
                                    DetailsList& texts);
    virtual UINT GetDeviceId() const;
    virtual MMRESULT GetLastResult() const;
    /// The text of the last result ("No Error", "Mixer invalid value" ... "Unknown (n)").
    virtual void GetErrorText(std::string& text) const;
    virtual HMIXER GetHandle() const;
    virtual UINT GetNumDevs() const;
    /// Opens the device; on success records its identifier. Opening an open object replaces
    /// its handle (the old one is closed once the new one is had).
    virtual bool Open(UINT deviceId, DWORD flags, DWORD_PTR callback, DWORD_PTR instance);
    /// Writes the control's values from `values` (element i to word i; null elements and
    /// missing ones keep the control's current value). Refuses the units GetControlDetails
    /// refuses, before any platform call. onCue: they take effect when the next item cued on
    /// the line starts (MIXER_SETCONTROLDETAILSF_ONCUE).
    virtual bool SetControlDetails(const CMixerLine& line, const CMixerControl& control,
                                   std::span<const CMixerControlDetailsData* const> values,
                                   bool onCue = false);

    /// The text of a platform result code.
    static std::string ErrorText(MMRESULT result);

private:
    MMRESULT m_lastResult = MMSYSERR_NOERROR;
    HMIXER m_handle = nullptr;
    UINT m_deviceId = 0;
};
