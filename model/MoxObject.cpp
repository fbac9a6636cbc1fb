#include "model/MoxObject.h"

#include "model/MoxCD.h"
#include "model/MoxMid.h"
#include "model/MoxPlayList.h"
#include "model/MoxWav.h"
#include "platform/classlib/CArchive.h"

QUILLON_IMPLEMENT_SERIAL(MoxObject, CObject, 1)

// Every model class derives from this one, so this file is always linked; naming the classes
// here pulls their files in too, and all of them can be created by name.
static const CRuntimeClassRegistration kModelClasses[] = {
    CRuntimeClassRegistration(RUNTIME_CLASS(MoxAudioItem)),
    CRuntimeClassRegistration(RUNTIME_CLASS(MoxWav)),
    CRuntimeClassRegistration(RUNTIME_CLASS(MoxMid)),
    CRuntimeClassRegistration(RUNTIME_CLASS(MoxCD)),
    CRuntimeClassRegistration(RUNTIME_CLASS(MoxPlayList)),
};

void MoxObject::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_kind << m_name << m_loopCount << m_reservedA << m_title;
        return;
    }
    ar >> m_kind;
    if (IsKnownKind(m_kind)) {
        ar >> m_name >> m_loopCount >> m_reservedA >> m_title;
    }
}
