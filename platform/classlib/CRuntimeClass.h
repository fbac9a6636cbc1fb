#pragma once

#include <memory>
#include <string_view>

class CObject;

/// A class's run-time record: its name, its schema number, its base and, for classes that can
/// be created by name, a creator. Records of creatable classes register themselves during static
/// initialisation. A class registers only when its object file is linked into the program: a
/// static library lists its creatable classes once more in a file that is always linked (see
/// CRuntimeClassRegistration), so that none goes missing.
struct CRuntimeClass {
    /// Schema of classes that have a run-time record but cannot be created or serialised.
    static constexpr unsigned noSchema = 0xFFFF;

    const char* m_lpszClassName;
    unsigned m_wSchema;
    std::unique_ptr<CObject> (*m_pfnCreateObject)();
    const CRuntimeClass* m_pBaseClass;

    /// A new object of this class, or null when the class cannot be created.
    std::unique_ptr<CObject> CreateObject() const;
    bool IsDerivedFrom(const CRuntimeClass* base) const;

    /// The registered record with that exact name, or null.
    static const CRuntimeClass* FromName(std::string_view className);
    /// A new object of the registered class with that name, or null.
    static std::unique_ptr<CObject> CreateObject(std::string_view className);
};

/// Adds a record to the by-name table (once, however often it is named).
struct CRuntimeClassRegistration {
    explicit CRuntimeClassRegistration(const CRuntimeClass* record);
};

#define RUNTIME_CLASS(cls) (&cls::classRecord)

/// In the class body: a run-time record without a creator.
#define QUILLON_DECLARE_DYNAMIC(cls)                                                               \
public:                                                                                            \
    static const CRuntimeClass classRecord;                                                        \
    const CRuntimeClass* GetRuntimeClass() const override;

/// In the class body: a run-time record with a creator (the class needs a default constructor).
#define QUILLON_DECLARE_SERIAL(cls)                                                                \
    QUILLON_DECLARE_DYNAMIC(cls)                                                                   \
    static std::unique_ptr<CObject> CreateObject();

#define QUILLON_IMPLEMENT_DYNAMIC(cls, base)                                                       \
    const CRuntimeClass cls::classRecord{#cls, CRuntimeClass::noSchema, nullptr,                   \
                                         RUNTIME_CLASS(base)};                                     \
    const CRuntimeClass* cls::GetRuntimeClass() const {                                            \
        return &classRecord;                                                                       \
    }

#define QUILLON_IMPLEMENT_SERIAL(cls, base, schema)                                                \
    std::unique_ptr<CObject> cls::CreateObject() {                                                 \
        return std::make_unique<cls>();                                                            \
    }                                                                                              \
    const CRuntimeClass cls::classRecord{#cls, schema, &cls::CreateObject, RUNTIME_CLASS(base)};   \
    const CRuntimeClass* cls::GetRuntimeClass() const {                                            \
        return &classRecord;                                                                       \
    }                                                                                              \
    static const CRuntimeClassRegistration cls##Registration{&cls::classRecord};
