#pragma once

#include <cstdint>
#include <string>

/// Everything a shortcut holds, handed to CShortcut::SetAndSave.
struct ShortcutInfo {
    std::string linkPath;         ///< the file the shortcut is written to
    std::string targetPath;       ///< the program it starts
    std::string workingDirectory; ///< the folder it starts the program in
    std::string description;
    std::string iconPath;  ///< an icon file or an icon theme name; empty: none
    std::string arguments; ///< passed to the program as one argument; empty: none
    std::int32_t iconIndex = 0;
    std::uint16_t hotKey = 0;
    std::int32_t showCommand = 0;
};
