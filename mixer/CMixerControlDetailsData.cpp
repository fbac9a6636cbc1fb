#include "mixer/CMixerControlDetailsData.h"

#include "mixer/MixerText.h"
#include "platform/classlib/CArchive.h"

QUILLON_IMPLEMENT_SERIAL(CMixerControlDetailsData, CObject, 1)

void CMixerControlDetailsData::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_value << m_param2 << m_name;
    } else {
        ar >> m_value >> m_param2 >> m_name;
    }
}

void CMixerControlDetailsData::SetUnsigned(const MIXERCONTROLDETAILS_UNSIGNED& details) {
    m_value = details.dwValue;
    m_param2 = 0;
    m_name.clear();
}

void CMixerControlDetailsData::SetSigned(const MIXERCONTROLDETAILS_SIGNED& details) {
    m_value = static_cast<DWORD>(details.lValue);
    m_param2 = 0;
    m_name.clear();
}

void CMixerControlDetailsData::SetBoolean(const MIXERCONTROLDETAILS_BOOLEAN& details) {
    m_value = static_cast<DWORD>(details.fValue);
    m_param2 = 0;
    m_name.clear();
}

void CMixerControlDetailsData::SetListText(const MIXERCONTROLDETAILS_LISTTEXT& details) {
    m_value = details.dwParam1;
    m_param2 = details.dwParam2;
    m_name = MixerFieldText(details.szName);
}

void CMixerControlDetailsData::Copy(const CMixerControlDetailsData& other) {
    m_value = other.m_value;
    m_param2 = other.m_param2;
    m_name = other.m_name;
}

void CMixerControlDetailsData::Reset() {
    m_value = 0;
    m_param2 = 0;
    m_name.clear();
}

CMixerControlDetailsData&
CMixerControlDetailsData::operator=(const MIXERCONTROLDETAILS_UNSIGNED& details) {
    SetUnsigned(details);
    return *this;
}

CMixerControlDetailsData&
CMixerControlDetailsData::operator=(const MIXERCONTROLDETAILS_SIGNED& details) {
    SetSigned(details);
    return *this;
}

CMixerControlDetailsData&
CMixerControlDetailsData::operator=(const MIXERCONTROLDETAILS_BOOLEAN& details) {
    SetBoolean(details);
    return *this;
}

CMixerControlDetailsData&
CMixerControlDetailsData::operator=(const MIXERCONTROLDETAILS_LISTTEXT& details) {
    SetListText(details);
    return *this;
}

CMixerControlDetailsData&
CMixerControlDetailsData::operator=(const CMixerControlDetailsData& other) {
    if (this != &other) {
        Copy(other);
    }
    return *this;
}
