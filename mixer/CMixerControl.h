#pragma once

#include "platform/classlib/CObject.h"
#include "platform/mixerapi/MixerApi.h"

#include <string>
#include <vector>

/// One control of a line, copied from MIXERCONTROL.
///
/// Serialised (schema 1): control id, control type, control flags, multiple-item count (32-bit
/// little-endian words), short name, name (archive strings), lower bound, upper bound, step
/// count, custom data size (words), then the metrics words as an array: the archive's element
/// count (2 bytes, or FF FF and 4 bytes from 0xFFFF on) followed by the 32-bit words. Loading
/// refuses a count whose words would run past the end before it allocates.
class CMixerControl : public CObject {
    QUILLON_DECLARE_SERIAL(CMixerControl)
public:
    CMixerControl() = default;
    CMixerControl(const CMixerControl& other) = default;
    ~CMixerControl() override = default;

    void Serialize(CArchive& ar) override;

    /// Resets, then copies; the six metrics words become the array.
    virtual void Set(const MIXERCONTROL& control);
    /// Resets, then copies every field and the array.
    virtual void Copy(const CMixerControl& other);
    /// Numbers 0, texts empty, array emptied.
    virtual void Reset();
    /// The class bits of the type (MIXERCONTROL_CT_CLASS_*), 0 for custom or unknown.
    virtual DWORD GetControlClass() const;
    /// "Volume Fader", "Mute Switch" ...; a type without a text leaves `text` as it was.
    virtual void GetControlTypeText(std::string& text) const;
    /// The units bits of the type (MIXERCONTROL_CT_UNITS_*), 0 for custom or unknown.
    virtual DWORD GetUnits() const;
    virtual bool IsBoolean() const;
    virtual bool IsCustom() const;
    virtual bool IsCustomUnits() const;
    virtual bool IsDecibels() const;
    virtual bool IsDisabled() const;
    virtual bool IsFader() const;
    virtual bool IsList() const;
    virtual bool IsMeter() const;
    virtual bool IsMultiple() const;
    virtual bool IsNumber() const;
    virtual bool IsPercent() const;
    virtual bool IsSigned() const;
    virtual bool IsSlider() const;
    virtual bool IsSwitch() const;
    virtual bool IsTime() const;
    virtual bool IsUniform() const;
    virtual bool IsUnsigned() const;
    CMixerControl& operator=(const MIXERCONTROL& control);
    CMixerControl& operator=(const CMixerControl& other);

    DWORD GetControlId() const { return m_controlId; }
    DWORD GetControlType() const { return m_controlType; }
    DWORD GetControlFlags() const { return m_controlFlags; }
    DWORD GetMultipleItemCount() const { return m_multipleItemCount; }
    const std::string& GetShortName() const { return m_shortName; }
    const std::string& GetName() const { return m_name; }
    /// The first word of the bounds (signed or unsigned by the units).
    DWORD GetLowerBound() const { return m_lowerBound; }
    DWORD GetUpperBound() const { return m_upperBound; }
    DWORD GetStepCount() const { return m_stepCount; }
    DWORD GetCustomDataSize() const { return m_customDataSize; }
    const std::vector<DWORD>& GetMetrics() const { return m_metrics; }

private:
    DWORD m_controlId = 0;
    DWORD m_controlType = 0;
    DWORD m_controlFlags = 0;
    DWORD m_multipleItemCount = 0;
    std::string m_shortName;
    std::string m_name;
    DWORD m_lowerBound = 0;
    DWORD m_upperBound = 0;
    DWORD m_stepCount = 0;
    DWORD m_customDataSize = 0;
    std::vector<DWORD> m_metrics;
};
