#pragma once

#include "platform/registry/Registry.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class RegistryStore;

/// What a key handle stands for: a key of one store, addressed by root and path, with the
/// access it was opened for. The key itself is looked up afresh on every use.
struct OpenKeyRecord {
    RegistryStore* store = nullptr;
    int root = 0;
    std::vector<std::string> path;
    REGSAM access = 0;
    bool isRoot = false; ///< a root handle: closing it does nothing
};

/// The process's open key handles. Handle values are counted up and never reused, so a
/// closed handle cannot come to mean another key.
class KeyHandleTable {
public:
    static KeyHandleTable& Instance();

    HKEY Add(OpenKeyRecord record);
    /// The record of a handle; the predefined roots name the process default store's roots.
    std::optional<OpenKeyRecord> Find(HKEY key) const;
    /// ERROR_SUCCESS, or ERROR_INVALID_HANDLE for a handle that is not open.
    LONG Close(HKEY key);
    /// Forgets every handle of a store that is going away.
    void ForgetStore(const RegistryStore* store);

    /// Root index (0-3) of a predefined root handle, or -1.
    static int PredefinedIndex(HKEY key);

private:
    KeyHandleTable() = default;

    mutable std::mutex m_mutex;
    std::unordered_map<std::uintptr_t, OpenKeyRecord> m_open;
    std::uintptr_t m_next = 0x1000;
};
