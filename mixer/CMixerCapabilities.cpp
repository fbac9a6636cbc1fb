#include "mixer/CMixerCapabilities.h"

#include "mixer/MixerText.h"
#include "platform/classlib/CArchive.h"

QUILLON_IMPLEMENT_SERIAL(CMixerCapabilities, CObject, 1)

void CMixerCapabilities::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_manufacturerId << m_productId << m_driverVersion << m_productName << m_support
           << m_destinationCount;
    } else {
        ar >> m_manufacturerId >> m_productId >> m_driverVersion >> m_productName >> m_support >>
            m_destinationCount;
    }
}

void CMixerCapabilities::Set(const MIXERCAPS& caps) {
    m_manufacturerId = caps.wMid;
    m_productId = caps.wPid;
    m_driverVersion = caps.vDriverVersion;
    m_productName = MixerFieldText(caps.szPname);
    m_support = caps.fdwSupport;
    m_destinationCount = caps.cDestinations;
}

void CMixerCapabilities::Copy(const CMixerCapabilities& other) {
    m_manufacturerId = other.m_manufacturerId;
    m_productId = other.m_productId;
    m_driverVersion = other.m_driverVersion;
    m_productName = other.m_productName;
    m_support = other.m_support;
    m_destinationCount = other.m_destinationCount;
}

void CMixerCapabilities::Reset() {
    m_manufacturerId = 0;
    m_productId = 0;
    m_driverVersion = 0;
    m_productName.clear();
    m_support = 0;
    m_destinationCount = 0;
}

bool CMixerCapabilities::Get(UINT deviceId) {
    MIXERCAPS caps{};
    if (mixerGetDevCaps(deviceId, &caps, sizeof caps) == MMSYSERR_NOERROR) {
        Set(caps);
        return true;
    }
    Reset();
    return false;
}

CMixerCapabilities& CMixerCapabilities::operator=(const MIXERCAPS& caps) {
    Set(caps);
    return *this;
}

CMixerCapabilities& CMixerCapabilities::operator=(const CMixerCapabilities& other) {
    if (this != &other) {
        Copy(other);
    }
    return *this;
}
