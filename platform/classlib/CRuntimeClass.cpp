#include "platform/classlib/CRuntimeClass.h"

#include "platform/classlib/CObject.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct Table {
    std::mutex mutex;
    std::vector<const CRuntimeClass*> records;
};

// A function-local static: registrations run during static initialisation, in no fixed order.
Table& table() {
    static Table t;
    return t;
}

} // namespace

std::unique_ptr<CObject> CRuntimeClass::CreateObject() const {
    if (m_pfnCreateObject == nullptr) {
        return nullptr;
    }
    return m_pfnCreateObject();
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass) {
        if (c == base) {
            return true;
        }
    }
    return false;
}

const CRuntimeClass* CRuntimeClass::FromName(std::string_view className) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    for (const CRuntimeClass* record : t.records) {
        if (className == record->m_lpszClassName) {
            return record;
        }
    }
    return nullptr;
}

std::unique_ptr<CObject> CRuntimeClass::CreateObject(std::string_view className) {
    const CRuntimeClass* record = FromName(className);
    return record == nullptr ? nullptr : record->CreateObject();
}

CRuntimeClassRegistration::CRuntimeClassRegistration(const CRuntimeClass* record) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    for (const CRuntimeClass* known : t.records) {
        if (known == record) {
            return;
        }
    }
    t.records.push_back(record);
}
