#pragma once

#include "platform/classlib/CRuntimeClass.h"

class CArchive;

/// Root of the classes that carry a run-time record and can be written to an archive.
class CObject {
public:
    static const CRuntimeClass classRecord;

    virtual ~CObject() = default;

    virtual const CRuntimeClass* GetRuntimeClass() const;
    /// Writes or reads the object's fields; the root has none.
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const {}
    virtual void Dump() const {}

    bool IsKindOf(const CRuntimeClass* record) const;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};
