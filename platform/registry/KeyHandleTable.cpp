#include "platform/registry/KeyHandleTable.h"

#include "platform/registry/RegistryStore.h"

#include <array>

namespace {

std::uintptr_t valueOf(HKEY key) {
    return reinterpret_cast<std::uintptr_t>(key);
}

} // namespace

KeyHandleTable& KeyHandleTable::Instance() {
    // Never destroyed: stores that are static objects themselves may still close their
    // handles while the process exits.
    static KeyHandleTable* const table = new KeyHandleTable();
    return *table;
}

HKEY KeyHandleTable::Add(OpenKeyRecord record) {
    std::lock_guard lock(m_mutex);
    const std::uintptr_t value = m_next;
    m_next += 4;
    m_open.emplace(value, std::move(record));
    return reinterpret_cast<HKEY>(value);
}

std::optional<OpenKeyRecord> KeyHandleTable::Find(HKEY key) const {
    const int predefined = PredefinedIndex(key);
    if (predefined >= 0) {
        return OpenKeyRecord{
            &RegistryStore::ProcessDefault(), predefined, {}, KEY_ALL_ACCESS, true};
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_open.find(valueOf(key));
    if (it == m_open.end()) {
        return std::nullopt;
    }
    return it->second;
}

LONG KeyHandleTable::Close(HKEY key) {
    if (PredefinedIndex(key) >= 0) {
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_open.find(valueOf(key));
    if (it == m_open.end()) {
        return ERROR_INVALID_HANDLE;
    }
    if (!it->second.isRoot) {
        m_open.erase(it);
    }
    return ERROR_SUCCESS;
}

void KeyHandleTable::ForgetStore(const RegistryStore* store) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_open, [store](const auto& entry) { return entry.second.store == store; });
}

int KeyHandleTable::PredefinedIndex(HKEY key) {
    const std::array<HKEY, 4> roots{HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                    HKEY_USERS};
    for (std::size_t i = 0; i < roots.size(); ++i) {
        if (roots[i] == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
