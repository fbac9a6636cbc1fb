#pragma once

#include "app/ShortcutInfo.h"
#include "platform/classlib/CObject.h"

#include <cstdint>
#include <string>

/// A shortcut to a program, kept as a freedesktop.org desktop entry file (a .desktop file of
/// type Application).
///
/// Fields map to keys: target path and arguments to Exec (quoted as desktop entries require),
/// working directory to Path, description to Comment, icon path to Icon; Name is the link
/// file's name without its extension. Icon index, hot key and show command have no
/// counterpart there and are kept but not written.
class CShortcut : public CObject {
public:
    CShortcut() = default;
    ~CShortcut() override = default;
    CShortcut(const CShortcut&) = delete;
    CShortcut& operator=(const CShortcut&) = delete;

    /// Takes every field of info and saves.
    bool SetAndSave(const ShortcutInfo& info);
    /// Writes the file when fields were set since the last save (true at once otherwise).
    /// The file is replaced whole or not at all. False when it cannot be written, or when a
    /// field cannot be represented (not UTF-8, control characters, no target or name).
    bool Save();

    bool IsChanged() const { return m_bChanged != 0; }

private:
    std::int32_t m_bChanged = 0;
    std::string m_strLinkPath;
    std::string m_strTargetPath;
    std::string m_strWorkingDirectory;
    std::string m_strDescription;
    std::string m_strIconPath;
    std::string m_strArguments;
    std::int32_t m_nIconIndex = 0;
    // Loaded icons: never used by the program, kept for callers that may show them.
    const void* m_hLargeIcon = nullptr;
    const void* m_hSmallIcon = nullptr;
    std::uint16_t m_wHotKey = 0;
    std::int32_t m_nShowCommand = 0;
};
