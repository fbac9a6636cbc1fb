#include "mixer/CMixerControl.h"

#include "mixer/MixerText.h"
#include "platform/classlib/CArchive.h"
#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"

#include <iterator>
#include <string>

QUILLON_IMPLEMENT_SERIAL(CMixerControl, CObject, 1)

void CMixerControl::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_controlId << m_controlType << m_controlFlags << m_multipleItemCount << m_shortName
           << m_name << m_lowerBound << m_upperBound << m_stepCount << m_customDataSize;
        ar.WriteCount(static_cast<DWORD>(m_metrics.size()));
        for (DWORD word : m_metrics) {
            ar << word;
        }
        return;
    }
    ar >> m_controlId >> m_controlType >> m_controlFlags >> m_multipleItemCount >> m_shortName >>
        m_name >> m_lowerBound >> m_upperBound >> m_stepCount >> m_customDataSize;
    const DWORD count = ar.ReadCount();
    if (std::uint64_t{count} * sizeof(DWORD) > ar.GetBytesLeft()) {
        throw CArchiveException(
            CArchiveException::badIndex, ar.GetFile() != nullptr ? ar.GetFile()->GetFilePath() : "",
            "A control announces " + std::to_string(count) + " metrics words where only " +
                std::to_string(ar.GetBytesLeft()) + " bytes remain.");
    }
    m_metrics.assign(count, 0);
    for (DWORD& word : m_metrics) {
        ar >> word;
    }
}

void CMixerControl::Set(const MIXERCONTROL& control) {
    Reset();
    m_controlId = control.dwControlID;
    m_controlType = control.dwControlType;
    m_controlFlags = control.fdwControl;
    m_multipleItemCount = control.cMultipleItems;
    m_shortName = MixerFieldText(control.szShortName);
    m_name = MixerFieldText(control.szName);
    m_lowerBound = control.Bounds.dwMinimum;
    m_upperBound = control.Bounds.dwMaximum;
    m_stepCount = control.Metrics.cSteps;
    m_customDataSize = control.Metrics.cbCustomData;
    m_metrics.insert(m_metrics.end(), std::begin(control.Metrics.dwReserved),
                     std::end(control.Metrics.dwReserved));
}

void CMixerControl::Copy(const CMixerControl& other) {
    Reset();
    m_controlId = other.m_controlId;
    m_controlType = other.m_controlType;
    m_controlFlags = other.m_controlFlags;
    m_multipleItemCount = other.m_multipleItemCount;
    m_shortName = other.m_shortName;
    m_name = other.m_name;
    m_lowerBound = other.m_lowerBound;
    m_upperBound = other.m_upperBound;
    m_stepCount = other.m_stepCount;
    m_customDataSize = other.m_customDataSize;
    m_metrics = other.m_metrics;
}

void CMixerControl::Reset() {
    m_controlId = 0;
    m_controlType = 0;
    m_controlFlags = 0;
    m_multipleItemCount = 0;
    m_shortName.clear();
    m_name.clear();
    m_lowerBound = 0;
    m_upperBound = 0;
    m_stepCount = 0;
    m_customDataSize = 0;
    m_metrics.clear();
}

DWORD CMixerControl::GetControlClass() const {
    const DWORD cls = m_controlType & MIXERCONTROL_CT_CLASS_MASK;
    return cls >= MIXERCONTROL_CT_CLASS_METER && cls <= MIXERCONTROL_CT_CLASS_LIST
               ? cls
               : MIXERCONTROL_CT_CLASS_CUSTOM;
}

DWORD CMixerControl::GetUnits() const {
    const DWORD units = m_controlType & MIXERCONTROL_CT_UNITS_MASK;
    return units >= MIXERCONTROL_CT_UNITS_BOOLEAN && units <= MIXERCONTROL_CT_UNITS_PERCENT
               ? units
               : MIXERCONTROL_CT_UNITS_CUSTOM;
}

void CMixerControl::GetControlTypeText(std::string& text) const {
    struct TypeText {
        DWORD type;
        const char* text;
    };
    static const TypeText texts[] = {
        {MIXERCONTROL_CONTROLTYPE_CUSTOM, "Custom"},
        {MIXERCONTROL_CONTROLTYPE_BOOLEANMETER, "Boolean Meter"},
        {MIXERCONTROL_CONTROLTYPE_SIGNEDMETER, "Signed Meter"},
        {MIXERCONTROL_CONTROLTYPE_PEAKMETER, "Peak Meter"},
        {MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER, "Unsigned Meter"},
        {MIXERCONTROL_CONTROLTYPE_BOOLEAN, "Boolean"},
        {MIXERCONTROL_CONTROLTYPE_ONOFF, "On/Off Switch"},
        {MIXERCONTROL_CONTROLTYPE_MUTE, "Mute Switch"},
        {MIXERCONTROL_CONTROLTYPE_MONO, "Mono Switch"},
        {MIXERCONTROL_CONTROLTYPE_LOUDNESS, "Loudness Switch"},
        {MIXERCONTROL_CONTROLTYPE_STEREOENH, "Stereo Enhance Switch"},
        {MIXERCONTROL_CONTROLTYPE_BUTTON, "Button"},
        {MIXERCONTROL_CONTROLTYPE_SIGNED, "Signed Number"},
        {MIXERCONTROL_CONTROLTYPE_UNSIGNED, "Unsigned Number"},
        {MIXERCONTROL_CONTROLTYPE_DECIBELS, "Decibels Number"},
        {MIXERCONTROL_CONTROLTYPE_PERCENT, "Percent Number"},
        {MIXERCONTROL_CONTROLTYPE_SLIDER, "Slider"},
        {MIXERCONTROL_CONTROLTYPE_PAN, "Pan Slider"},
        {MIXERCONTROL_CONTROLTYPE_QSOUNDPAN, "Q-Sound Pan Slider"},
        {MIXERCONTROL_CONTROLTYPE_FADER, "Fader"},
        {MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume Fader"},
        {MIXERCONTROL_CONTROLTYPE_BASS, "Bass Fader"},
        {MIXERCONTROL_CONTROLTYPE_TREBLE, "Treble Fader"},
        {MIXERCONTROL_CONTROLTYPE_EQUALIZER, "Equalizer Fader"},
        {MIXERCONTROL_CONTROLTYPE_MICROTIME, "Microsecond Time"},
        {MIXERCONTROL_CONTROLTYPE_MILLITIME, "Millisecond Time"},
        {MIXERCONTROL_CONTROLTYPE_SINGLESELECT, "Single-Select List"},
        {MIXERCONTROL_CONTROLTYPE_MUX, "Mux List"},
        {MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT, "Multiple-Select List"},
        {MIXERCONTROL_CONTROLTYPE_MIXER, "Mixer List"},
    };
    for (const TypeText& t : texts) {
        if (t.type == m_controlType) {
            text = t.text;
            return;
        }
    }
}

bool CMixerControl::IsBoolean() const {
    return GetUnits() == MIXERCONTROL_CT_UNITS_BOOLEAN;
}
bool CMixerControl::IsCustom() const {
    return GetControlClass() == MIXERCONTROL_CT_CLASS_CUSTOM;
}
bool CMixerControl::IsCustomUnits() const {
    return GetUnits() == MIXERCONTROL_CT_UNITS_CUSTOM;
}
bool CMixerControl::IsDecibels() const {
    return GetUnits() == MIXERCONTROL_CT_UNITS_DECIBELS;
}
bool CMixerControl::IsDisabled() const {
    return (m_controlFlags & MIXERCONTROL_CONTROLF_DISABLED) != 0;
}
bool CMixerControl::IsFader() const {
    return GetControlClass() == MIXERCONTROL_CT_CLASS_FADER;
}
bool CMixerControl::IsList() const {
    return GetControlClass() == MIXERCONTROL_CT_CLASS_LIST;
}
bool CMixerControl::IsMeter() const {
    return GetControlClass() == MIXERCONTROL_CT_CLASS_METER;
}
bool CMixerControl::IsMultiple() const {
    return (m_controlFlags & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
}
bool CMixerControl::IsNumber() const {
    return GetControlClass() == MIXERCONTROL_CT_CLASS_NUMBER;
}
bool CMixerControl::IsPercent() const {
    return GetUnits() == MIXERCONTROL_CT_UNITS_PERCENT;
}
bool CMixerControl::IsSigned() const {
    return GetUnits() == MIXERCONTROL_CT_UNITS_SIGNED;
}
bool CMixerControl::IsSlider() const {
    return GetControlClass() == MIXERCONTROL_CT_CLASS_SLIDER;
}
bool CMixerControl::IsSwitch() const {
    return GetControlClass() == MIXERCONTROL_CT_CLASS_SWITCH;
}
bool CMixerControl::IsTime() const {
    return GetControlClass() == MIXERCONTROL_CT_CLASS_TIME;
}
bool CMixerControl::IsUniform() const {
    return (m_controlFlags & MIXERCONTROL_CONTROLF_UNIFORM) != 0;
}
bool CMixerControl::IsUnsigned() const {
    return GetUnits() == MIXERCONTROL_CT_UNITS_UNSIGNED;
}

CMixerControl& CMixerControl::operator=(const MIXERCONTROL& control) {
    Set(control);
    return *this;
}

CMixerControl& CMixerControl::operator=(const CMixerControl& other) {
    if (this != &other) {
        Copy(other);
    }
    return *this;
}
