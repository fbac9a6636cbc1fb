#include "platform/classlib/CObject.h"

const CRuntimeClass CObject::classRecord{"CObject", CRuntimeClass::noSchema, nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const {
    return &classRecord;
}

void CObject::Serialize(CArchive&) {}

bool CObject::IsKindOf(const CRuntimeClass* record) const {
    return GetRuntimeClass()->IsDerivedFrom(record);
}
