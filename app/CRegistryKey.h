#pragma once

#include "platform/registry/Registry.h"

#include <array>
#include <string>
#include <vector>

class RegistryStore;

/// One registry key, addressed as a root, a parent path and a key path below it.
///
/// Operations return result codes: 0 success; a positive number is the platform's error code
/// passed through (2: no such value) or, where said, a length or a disposition; the negative
/// codes below are the class's own. Nothing throws.
class CRegistryKey {
public:
    static constexpr LONG kNoAnswer = -300;        ///< the read obtained no answer
    static constexpr LONG kCannotOpen = -302;      ///< the key (for Create: its parent) won't open
    static constexpr LONG kCannotCreate = -304;    ///< the key cannot be created
    static constexpr LONG kCannotDelete = -305;    ///< the key cannot be deleted
    static constexpr LONG kCannotWrite = -307;     ///< a value cannot be written
    static constexpr LONG kMissingArgument = -309; ///< null name or buffer, zero size, bad index

    /// Indexes into the root key table.
    enum RootIndex : int {
        rootClassesRoot = 0,
        rootCurrentUser = 1,
        rootLocalMachine = 2,
        rootUsers = 3,
    };

    /// Indexes into the value type table (the class's own numbering, not the platform's).
    enum TypeIndex : int {
        typeBinary = 0,
        typeDword = 1,
        typeDwordLittleEndian = 2,
        typeDwordBigEndian = 3,
        typeExpandString = 4,
        typeLink = 5,
        typeMultiString = 6,
        typeNone = 7,
        typeResourceList = 8,
        typeString = 9,
    };

    /// A closed key with empty paths, under HKEY_CURRENT_USER until SetKey says otherwise.
    /// store: where the roots lie; null means the process's default store.
    explicit CRegistryKey(RegistryStore* store = nullptr);
    /// Closes the key if it is open.
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    /// Closes the key if open (a failing close is returned and nothing changes), then selects
    /// the root and stores both paths.
    LONG SetKey(int rootIndex, const std::string& parentPath, const std::string& keyPath);
    /// Opens parent path\key path with full access; kCannotOpen on failure.
    LONG Open();
    /// Creates (or opens) the key below its parent and keeps it open. Returns the disposition:
    /// 1 created, 2 it existed; kCannotOpen when the parent won't open, kCannotCreate.
    LONG Create();
    /// Closes the key if open; the handle is forgotten only when closing succeeds.
    LONG Close();
    /// Deletes parent path\key path (a key with subkeys is not deleted); kCannotDelete.
    LONG Delete();
    bool IsOpen() const { return m_hKey != nullptr; }

    /// The value's bytes up to their first zero byte, whatever its type; empty on failure.
    LONG QueryString(const std::string& name, std::string& value);
    /// As above into buffer, the rest of which is filled with zero bytes. When the string and
    /// its terminating zero do not fit, returns the string's length and the buffer holds only
    /// zero bytes.
    LONG QueryString(const char* name, char* buffer, DWORD bufferSize);

    /// REG_DWORD values are read little-endian, REG_BINARY big-endian; of longer values only
    /// the four bytes read last count. Any other type reads as 0 (and succeeds). On failure
    /// the number is 0.
    LONG QueryNumber(const std::string& name, DWORD& number);
    LONG QueryNumber(const char* name, DWORD* number);
    /// As QueryNumber, but number changes only when the read succeeds.
    LONG QueryNumberKeep(const std::string& name, DWORD& number);
    LONG QueryNumberKeep(const char* name, DWORD* number);

    /// Writes the number as a 4-byte REG_DWORD; kCannotWrite on failure.
    LONG SetNumber(const std::string& name, DWORD number);
    /// Writes the number's 4 bytes with the type of typeIndex, in the byte order QueryNumber
    /// reads that type in (big-endian for typeBinary and typeDwordBigEndian).
    LONG SetNumber(const char* name, DWORD number, int typeIndex);
    /// Writes the string with its terminating zero as REG_SZ; kCannotWrite on failure.
    LONG SetString(const std::string& name, const std::string& value);
    LONG SetString(const char* name, const char* value, int typeIndex);

private:
    LONG queryBytes(const char* name, std::vector<BYTE>& bytes, DWORD* type);
    std::string fullPath() const;

    std::array<HKEY, 4> m_rootKeys;
    std::array<DWORD, 10> m_valueTypes;
    HKEY m_hKey = nullptr;
    HKEY m_hRoot;
    std::string m_strKeyPath;
    std::string m_strParentPath;
};
