#include "platform/registry/Registry.h"

#include "platform/registry/KeyHandleTable.h"
#include "platform/registry/RegistryStore.h"

#include <cstring>
#include <string_view>

HKEY__ RegistryPredefinedRoots[4];

namespace {

bool hasControlCharacter(std::string_view name) {
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

/// Appends the names of a "\"-separated key path to path. Empty names, names the store could
/// not write back, and paths beyond the platform's limits are refused.
LONG appendSubKey(const char* subKey, std::vector<std::string>& path) {
    if (subKey == nullptr || *subKey == '\0') {
        return ERROR_SUCCESS;
    }
    std::string_view rest(subKey);
    for (;;) {
        const std::size_t slash = rest.find('\\');
        const std::string_view name = rest.substr(0, slash);
        if (name.empty() || name.size() > RegistryTree::kMaxKeyNameLength ||
            hasControlCharacter(name) || path.size() >= RegistryTree::kMaxDepth) {
            return ERROR_INVALID_PARAMETER;
        }
        path.emplace_back(name);
        if (slash == std::string_view::npos) {
            return ERROR_SUCCESS;
        }
        rest.remove_prefix(slash + 1);
    }
}

/// A value name as stored: null is the default value's empty name.
LONG valueNameOf(const char* valueName, std::string_view& name) {
    name = valueName == nullptr ? std::string_view() : std::string_view(valueName);
    if (name.size() > RegistryTree::kMaxValueNameLength || hasControlCharacter(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

/// The key a handle stands for; ERROR_KEY_DELETED when it has gone since it was opened.
template <typename Tree>
auto findOpenKey(Tree& tree, const OpenKeyRecord& record, LONG& result) {
    auto* key = tree.Find(record.root, record.path);
    result = key == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
    return key;
}

} // namespace

LSTATUS RegOpenKeyEx(HKEY hKey, const char* subKey, DWORD /*options*/, REGSAM samDesired,
                     PHKEY phkResult) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    const auto record = KeyHandleTable::Instance().Find(hKey);
    if (!record) {
        return ERROR_INVALID_HANDLE;
    }
    OpenKeyRecord opened{record->store, record->root, record->path, samDesired, false};
    if (const LONG result = appendSubKey(subKey, opened.path); result != ERROR_SUCCESS) {
        return result;
    }
    const LONG result = record->store->Read([&](const RegistryTree& tree) {
        LONG found = ERROR_SUCCESS;
        if (findOpenKey(tree, *record, found) == nullptr) {
            return found;
        }
        return tree.Find(opened.root, opened.path) != nullptr ? ERROR_SUCCESS
                                                              : ERROR_FILE_NOT_FOUND;
    });
    if (result == ERROR_SUCCESS) {
        *phkResult = KeyHandleTable::Instance().Add(std::move(opened));
    }
    return result;
}

LSTATUS RegCreateKeyEx(HKEY hKey, const char* subKey, DWORD reserved, const char* /*keyClass*/,
                       DWORD options, REGSAM samDesired,
                       const SECURITY_ATTRIBUTES* /*securityAttributes*/, PHKEY phkResult,
                       DWORD* disposition) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    // A volatile key would have to vanish at log-off; the store keeps no such keys.
    if (reserved != 0 || options != REG_OPTION_NON_VOLATILE) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto record = KeyHandleTable::Instance().Find(hKey);
    if (!record) {
        return ERROR_INVALID_HANDLE;
    }
    OpenKeyRecord opened{record->store, record->root, record->path, samDesired, false};
    if (const LONG result = appendSubKey(subKey, opened.path); result != ERROR_SUCCESS) {
        return result;
    }
    DWORD how = REG_OPENED_EXISTING_KEY;
    // An existing key is opened without taking the writers' lock: that works in a store the
    // user may only read.
    LONG result = record->store->Read([&](const RegistryTree& tree) {
        LONG found = ERROR_SUCCESS;
        if (findOpenKey(tree, *record, found) == nullptr) {
            return found;
        }
        return tree.Find(opened.root, opened.path) != nullptr ? ERROR_SUCCESS
                                                              : ERROR_FILE_NOT_FOUND;
    });
    if (result == ERROR_FILE_NOT_FOUND) {
        result = record->store->Modify([&](RegistryTree& tree, bool& changed) {
            LONG found = ERROR_SUCCESS;
            if (findOpenKey(tree, *record, found) == nullptr) {
                return found;
            }
            if (tree.Find(opened.root, opened.path) != nullptr) {
                return ERROR_SUCCESS; // another process made it meanwhile
            }
            if ((record->access & KEY_CREATE_SUB_KEY) == 0) {
                return ERROR_ACCESS_DENIED;
            }
            tree.Create(opened.root, opened.path);
            how = REG_CREATED_NEW_KEY;
            changed = true;
            return ERROR_SUCCESS;
        });
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (disposition != nullptr) {
        *disposition = how;
    }
    *phkResult = KeyHandleTable::Instance().Add(std::move(opened));
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueEx(HKEY hKey, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* cbData) {
    if (reserved != nullptr || (data != nullptr && cbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto record = KeyHandleTable::Instance().Find(hKey);
    if (!record) {
        return ERROR_INVALID_HANDLE;
    }
    if ((record->access & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    std::string_view name;
    if (valueNameOf(valueName, name) != ERROR_SUCCESS) {
        return ERROR_FILE_NOT_FOUND; // no such value can exist
    }
    return record->store->Read([&](const RegistryTree& tree) {
        LONG found = ERROR_SUCCESS;
        const auto* key = findOpenKey(tree, *record, found);
        if (key == nullptr) {
            return found;
        }
        const RegistryTree::Value* value = key->FindValue(name);
        if (value == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (type != nullptr) {
            *type = value->type;
        }
        const auto size = static_cast<DWORD>(value->data.size());
        if (data != nullptr && *cbData < size) {
            *cbData = size;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr && size != 0) {
            std::memcpy(data, value->data.data(), size);
        }
        if (cbData != nullptr) {
            *cbData = size;
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS RegSetValueEx(HKEY hKey, const char* valueName, DWORD reserved, DWORD type,
                      const BYTE* data, DWORD cbData) {
    const auto record = KeyHandleTable::Instance().Find(hKey);
    if (!record) {
        return ERROR_INVALID_HANDLE;
    }
    if ((record->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    std::string_view name;
    if (reserved != 0 || (data == nullptr && cbData != 0) ||
        valueNameOf(valueName, name) != ERROR_SUCCESS) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::uint8_t> bytes(data, data + cbData);
    return record->store->Modify([&](RegistryTree& tree, bool& changed) {
        LONG found = ERROR_SUCCESS;
        auto* key = findOpenKey(tree, *record, found);
        if (key != nullptr) {
            changed = key->SetValue(name, type, std::move(bytes));
        }
        return found;
    });
}

LSTATUS RegDeleteValue(HKEY hKey, const char* valueName) {
    const auto record = KeyHandleTable::Instance().Find(hKey);
    if (!record) {
        return ERROR_INVALID_HANDLE;
    }
    if ((record->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    std::string_view name;
    if (valueNameOf(valueName, name) != ERROR_SUCCESS) {
        return ERROR_FILE_NOT_FOUND;
    }
    return record->store->Modify([&](RegistryTree& tree, bool& changed) {
        LONG found = ERROR_SUCCESS;
        auto* key = findOpenKey(tree, *record, found);
        if (key == nullptr) {
            return found;
        }
        changed = key->RemoveValue(name);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegDeleteKey(HKEY hKey, const char* subKey) {
    if (subKey == nullptr || *subKey == '\0') {
        return ERROR_INVALID_PARAMETER;
    }
    const auto record = KeyHandleTable::Instance().Find(hKey);
    if (!record) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> path = record->path;
    if (const LONG result = appendSubKey(subKey, path); result != ERROR_SUCCESS) {
        return result;
    }
    return record->store->Modify([&](RegistryTree& tree, bool& changed) {
        LONG found = ERROR_SUCCESS;
        if (findOpenKey(tree, *record, found) == nullptr) {
            return found;
        }
        const std::vector<std::string> parentPath(path.begin(), path.end() - 1);
        RegistryTree::Key* parent = tree.Find(record->root, parentPath);
        const RegistryTree::Key* key =
            parent == nullptr ? nullptr : parent->FindSubkey(path.back());
        if (key == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (key->HasSubkeys() || RegistryTree::IsPermanent(record->root, path)) {
            return ERROR_ACCESS_DENIED;
        }
        parent->RemoveSubkey(path.back());
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCloseKey(HKEY hKey) {
    return KeyHandleTable::Instance().Close(hKey);
}
