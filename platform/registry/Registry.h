#pragma once

// The registry functions the program was written against, over a per-user text store (see
// RegistryStore). Names, value types, access masks and error codes are the platform's published
// ones, so code written for the platform reads the same and stored type numbers mean the same.
//
// Strings are narrow (UTF-8) throughout: a REG_SZ value holds the string's bytes and, when it
// was written that way, its terminating zero; reads return exactly the bytes that were written.
//
// Keys are addressed by paths of names separated by "\"; names match without regard to case
// and keep the spelling they were created with. Value names match the same way.
//
// Handles: the four predefined roots name the roots of the process's default store
// (RegistryStore::ProcessDefault()); RegistryStore::Root() gives the roots of any other store.
// Every other handle comes from RegOpenKeyEx or RegCreateKeyEx, stays valid until RegCloseKey
// (or until its store is destroyed), and is never reused: a closed or made-up handle gives
// ERROR_INVALID_HANDLE. A handle whose key was deleted gives ERROR_KEY_DELETED. The functions
// may be called from any thread.

#include "platform/wintypes/WinTypes.h"

/// What a key handle points at; never dereferenced.
struct HKEY__ {
    int unused;
};
/// An open registry key; opaque.
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;
struct SECURITY_ATTRIBUTES;

// The predefined roots. Their handles are addresses of static objects, so that they are
// constants from before any code runs: a process-wide object may open keys in its constructor.
extern HKEY__ RegistryPredefinedRoots[4];
inline constexpr HKEY HKEY_CLASSES_ROOT = &RegistryPredefinedRoots[0];
inline constexpr HKEY HKEY_CURRENT_USER = &RegistryPredefinedRoots[1];
inline constexpr HKEY HKEY_LOCAL_MACHINE = &RegistryPredefinedRoots[2];
inline constexpr HKEY HKEY_USERS = &RegistryPredefinedRoots[3];

// Value types. Stored in the file by number, so they must keep these values.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_RESOURCE_LIST = 8;
inline constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr DWORD REG_QWORD = 11;

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_EXECUTE = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// RegCreateKeyEx options and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_OPTION_VOLATILE = 1;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// The platform's error codes that these functions return.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_PATH_NOT_FOUND = 3;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_OUTOFMEMORY = 14;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_DISK_FULL = 112;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_CANTREAD = 1012;
inline constexpr LONG ERROR_CANTWRITE = 1013;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

/// Opens an existing key below hKey (subKey null or empty: hKey's own key again).
/// ERROR_FILE_NOT_FOUND when it does not exist. *phkResult is null on failure.
LSTATUS RegOpenKeyEx(HKEY hKey, const char* subKey, DWORD options, REGSAM samDesired,
                     PHKEY phkResult);

/// Opens a key below hKey, creating it and any missing keys on its path. Creating needs
/// KEY_CREATE_SUB_KEY on hKey. Volatile keys are not offered (ERROR_INVALID_PARAMETER); class
/// and security are ignored. *disposition (when given) is REG_CREATED_NEW_KEY or
/// REG_OPENED_EXISTING_KEY.
LSTATUS RegCreateKeyEx(HKEY hKey, const char* subKey, DWORD reserved, const char* keyClass,
                       DWORD options, REGSAM samDesired,
                       const SECURITY_ATTRIBUTES* securityAttributes, PHKEY phkResult,
                       DWORD* disposition);

/// Reads a value (name null or empty: the key's default value); needs KEY_QUERY_VALUE.
/// With data null only the type and size are reported. When *cbData is too small the answer is
/// ERROR_MORE_DATA with the needed size in *cbData, and data is left untouched.
LSTATUS RegQueryValueEx(HKEY hKey, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* cbData);

/// Writes a value of any type with exactly the bytes given; needs KEY_SET_VALUE.
LSTATUS RegSetValueEx(HKEY hKey, const char* valueName, DWORD reserved, DWORD type,
                      const BYTE* data, DWORD cbData);

/// Removes a value; needs KEY_SET_VALUE. ERROR_FILE_NOT_FOUND when there is none.
LSTATUS RegDeleteValue(HKEY hKey, const char* valueName);

/// Deletes the key subKey below hKey. A key that still has subkeys is not deleted
/// (ERROR_ACCESS_DENIED), nor are the roots and their "SOFTWARE" keys.
LSTATUS RegDeleteKey(HKEY hKey, const char* subKey);

/// Closes a handle. Closing a root is allowed and does nothing.
LSTATUS RegCloseKey(HKEY hKey);
