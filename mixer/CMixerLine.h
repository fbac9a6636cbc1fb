#pragma once

#include "platform/classlib/CObject.h"
#include "platform/mixerapi/MixerApi.h"

#include <string>

/// One line of a mixer (a destination or a source), copied from MIXERLINE.
///
/// Serialised (schema 1) in field order, numbers as 32-bit little-endian words and texts as
/// archive strings: destination index, source index, line id, line flags, user value,
/// component type, channel count, connection count, control count, short name, name, target
/// type, target device id, target manufacturer id, target product id, target driver version,
/// target product name.
class CMixerLine : public CObject {
    QUILLON_DECLARE_SERIAL(CMixerLine)
public:
    CMixerLine() = default;
    CMixerLine(const CMixerLine& other) = default;
    ~CMixerLine() override = default;

    void Serialize(CArchive& ar) override;

    /// Overwrites every field (no reset first).
    virtual void Set(const MIXERLINE& line);
    virtual void Copy(const CMixerLine& other);
    /// All numbers 0, all three texts empty.
    virtual void Reset();
    /// "Speakers Destination", "Wave Out Source" ... or "Unknown (n)".
    virtual void GetComponentTypeText(std::string& text) const;
    /// "Active", "Disconnected", "Source" for the flags that are set, joined by ", ".
    virtual void GetStatusText(std::string& text) const;
    /// "Undefined", "Wave Out", "Wave In", "MIDI Out", "MIDI In", "Aux" or "Unknown (n)".
    virtual void GetTargetTypeText(std::string& text) const;
    virtual bool IsActive() const;
    virtual bool IsDisconnected() const;
    virtual bool IsSource() const;
    CMixerLine& operator=(const MIXERLINE& line);
    CMixerLine& operator=(const CMixerLine& other);

    DWORD GetDestination() const { return m_destination; }
    DWORD GetSource() const { return m_source; }
    DWORD GetLineId() const { return m_lineId; }
    DWORD GetLineFlags() const { return m_lineFlags; }
    DWORD GetUser() const { return m_user; }
    DWORD GetComponentType() const { return m_componentType; }
    DWORD GetChannelCount() const { return m_channelCount; }
    DWORD GetConnectionCount() const { return m_connectionCount; }
    DWORD GetControlCount() const { return m_controlCount; }
    const std::string& GetShortName() const { return m_shortName; }
    const std::string& GetName() const { return m_name; }
    DWORD GetTargetType() const { return m_targetType; }
    DWORD GetTargetDeviceId() const { return m_targetDeviceId; }
    DWORD GetTargetManufacturerId() const { return m_targetManufacturerId; }
    DWORD GetTargetProductId() const { return m_targetProductId; }
    DWORD GetTargetDriverVersion() const { return m_targetDriverVersion; }
    const std::string& GetTargetProductName() const { return m_targetProductName; }

private:
    DWORD m_destination = 0;
    DWORD m_source = 0;
    DWORD m_lineId = 0;
    DWORD m_lineFlags = 0;
    DWORD m_user = 0;
    DWORD m_componentType = 0;
    DWORD m_channelCount = 0;
    DWORD m_connectionCount = 0;
    DWORD m_controlCount = 0;
    std::string m_shortName;
    std::string m_name;
    DWORD m_targetType = 0;
    DWORD m_targetDeviceId = 0;
    DWORD m_targetManufacturerId = 0;
    DWORD m_targetProductId = 0;
    DWORD m_targetDriverVersion = 0;
    std::string m_targetProductName;
};
