#include "app/CRegistryKey.h"

#include "platform/registry/RegistryStore.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kFirstReadSize = 64;
// The value may grow between two reads (another program writing it); after this many tries
// the read gives up rather than chase it.
constexpr int kReadAttempts = 8;

std::string stringOf(const std::vector<BYTE>& bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), BYTE{0});
    return std::string(bytes.begin(), end);
}

} // namespace

CRegistryKey::CRegistryKey(RegistryStore* store)
    : m_rootKeys{HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}
    , m_valueTypes{REG_BINARY,
                   REG_DWORD,
                   REG_DWORD_LITTLE_ENDIAN,
                   REG_DWORD_BIG_ENDIAN,
                   REG_EXPAND_SZ,
                   REG_LINK,
                   REG_MULTI_SZ,
                   REG_NONE,
                   REG_RESOURCE_LIST,
                   REG_SZ} {
    if (store != nullptr) {
        for (HKEY& root : m_rootKeys) {
            root = store->Root(root);
        }
    }
    m_hRoot = m_rootKeys[rootCurrentUser];
}

CRegistryKey::~CRegistryKey() {
    Close();
}

LONG CRegistryKey::SetKey(int rootIndex, const std::string& parentPath,
                          const std::string& keyPath) {
    if (const LONG result = Close(); result != ERROR_SUCCESS) {
        return result;
    }
    if (rootIndex < 0 || rootIndex >= static_cast<int>(m_rootKeys.size())) {
        return kMissingArgument;
    }
    m_hRoot = m_rootKeys[static_cast<std::size_t>(rootIndex)];
    m_strParentPath = parentPath;
    m_strKeyPath = keyPath;
    return ERROR_SUCCESS;
}

std::string CRegistryKey::fullPath() const {
    if (m_strParentPath.empty()) {
        return m_strKeyPath;
    }
    if (m_strKeyPath.empty()) {
        return m_strParentPath;
    }
    return m_strParentPath + "\\" + m_strKeyPath;
}

LONG CRegistryKey::Open() {
    if (const LONG result = Close(); result != ERROR_SUCCESS) {
        return result;
    }
    HKEY key = nullptr;
    if (RegOpenKeyEx(m_hRoot, fullPath().c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return kCannotOpen;
    }
    m_hKey = key;
    return ERROR_SUCCESS;
}

LONG CRegistryKey::Create() {
    if (const LONG result = Close(); result != ERROR_SUCCESS) {
        return result;
    }
    HKEY parent = nullptr;
    if (RegOpenKeyEx(m_hRoot, m_strParentPath.c_str(), 0, KEY_WRITE, &parent) != ERROR_SUCCESS) {
        return kCannotOpen;
    }
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG result =
        RegCreateKeyEx(parent, m_strKeyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_ALL_ACCESS, nullptr, &key, &disposition);
    RegCloseKey(parent);
    if (result != ERROR_SUCCESS) {
        return kCannotCreate;
    }
    m_hKey = key;
    return static_cast<LONG>(disposition);
}

LONG CRegistryKey::Close() {
    if (m_hKey == nullptr) {
        return ERROR_SUCCESS;
    }
    const LONG result = RegCloseKey(m_hKey);
    if (result == ERROR_SUCCESS) {
        m_hKey = nullptr;
    }
    return result;
}

LONG CRegistryKey::Delete() {
    return RegDeleteKey(m_hRoot, fullPath().c_str()) == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                      : kCannotDelete;
}

LONG CRegistryKey::queryBytes(const char* name, std::vector<BYTE>& bytes, DWORD* type) {
    std::vector<BYTE> buffer;
    DWORD size = kFirstReadSize;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        try {
            buffer.resize(size);
        } catch (const std::bad_alloc&) {
            return kNoAnswer;
        }
        size = static_cast<DWORD>(buffer.size());
        const LONG result = RegQueryValueEx(m_hKey, name, nullptr, type, buffer.data(), &size);
        if (result == ERROR_SUCCESS) {
            buffer.resize(size);
            bytes = std::move(buffer);
            return ERROR_SUCCESS;
        }
        if (result != ERROR_MORE_DATA) {
            return result;
        }
        if (size <= buffer.size()) {
            return kNoAnswer; // "more data" without asking for more room
        }
    }
    return kNoAnswer;
}

LONG CRegistryKey::QueryString(const std::string& name, std::string& value) {
    std::vector<BYTE> bytes;
    const LONG result = queryBytes(name.c_str(), bytes, nullptr);
    value = result == ERROR_SUCCESS ? stringOf(bytes) : std::string();
    return result;
}

LONG CRegistryKey::QueryString(const char* name, char* buffer, DWORD bufferSize) {
    if (name == nullptr || buffer == nullptr || bufferSize == 0) {
        return kMissingArgument;
    }
    std::memset(buffer, 0, bufferSize);
    std::vector<BYTE> bytes;
    const LONG result = queryBytes(name, bytes, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const std::string text = stringOf(bytes);
    if (text.size() + 1 > bufferSize) {
        return static_cast<LONG>(text.size());
    }
    std::memcpy(buffer, text.data(), text.size());
    return ERROR_SUCCESS;
}

LONG CRegistryKey::QueryNumber(const std::string& name, DWORD& number) {
    return QueryNumber(name.c_str(), &number);
}

LONG CRegistryKey::QueryNumber(const char* name, DWORD* number) {
    if (name == nullptr || number == nullptr) {
        return kMissingArgument;
    }
    *number = 0;
    std::vector<BYTE> bytes;
    DWORD type = REG_NONE;
    const LONG result = queryBytes(name, bytes, &type);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    // Shifting out the top byte keeps only the last four bytes taken.
    DWORD n = 0;
    if (type == REG_DWORD) {
        for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
            n = (n << 8) + *it;
        }
    } else if (type == REG_BINARY) {
        for (BYTE b : bytes) {
            n = (n << 8) + b;
        }
    }
    *number = n;
    return ERROR_SUCCESS;
}

LONG CRegistryKey::QueryNumberKeep(const std::string& name, DWORD& number) {
    return QueryNumberKeep(name.c_str(), &number);
}

LONG CRegistryKey::QueryNumberKeep(const char* name, DWORD* number) {
    if (number == nullptr) {
        return kMissingArgument;
    }
    DWORD read = 0;
    const LONG result = QueryNumber(name, &read);
    if (result == ERROR_SUCCESS) {
        *number = read;
    }
    return result;
}

LONG CRegistryKey::SetNumber(const std::string& name, DWORD number) {
    return SetNumber(name.c_str(), number, typeDword);
}

LONG CRegistryKey::SetNumber(const char* name, DWORD number, int typeIndex) {
    if (name == nullptr || typeIndex < 0 || typeIndex >= static_cast<int>(m_valueTypes.size())) {
        return kMissingArgument;
    }
    const DWORD type = m_valueTypes[static_cast<std::size_t>(typeIndex)];
    BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                     static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    if (type == REG_BINARY || type == REG_DWORD_BIG_ENDIAN) {
        std::reverse(std::begin(bytes), std::end(bytes));
    }
    return RegSetValueEx(m_hKey, name, 0, type, bytes, sizeof bytes) == ERROR_SUCCESS
               ? ERROR_SUCCESS
               : kCannotWrite;
}

LONG CRegistryKey::SetString(const std::string& name, const std::string& value) {
    return SetString(name.c_str(), value.c_str(), typeString);
}

LONG CRegistryKey::SetString(const char* name, const char* value, int typeIndex) {
    if (name == nullptr || value == nullptr || typeIndex < 0 ||
        typeIndex >= static_cast<int>(m_valueTypes.size())) {
        return kMissingArgument;
    }
    const auto size = static_cast<DWORD>(std::strlen(value) + 1);
    return RegSetValueEx(m_hKey, name, 0, m_valueTypes[static_cast<std::size_t>(typeIndex)],
                         reinterpret_cast<const BYTE*>(value), size) == ERROR_SUCCESS
               ? ERROR_SUCCESS
               : kCannotWrite;
}
