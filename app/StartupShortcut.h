#pragma once

#include "platform/wintypes/WinTypes.h"

#include <string>

// The autostart entry that starts the program at log-in while "Start With Windows" is on: a
// desktop entry named by string resource 132 in the user's autostart folder.

/// The user's autostart folder ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart), made
/// when missing. 0 on success; otherwise a platform error code and folder is left as it was.
LONG GetStartupFolder(std::string& folder);

/// The running program's own executable, whole; empty when it cannot be told.
std::string GetExecutablePath();

/// What bringing the autostart entry in line came to.
struct StartupShortcutResult {
    enum Status {
        updated,      ///< the entry is there when the setting is on and gone when it is off
        noFolder,     ///< the setting is on and the autostart folder cannot be made
        cannotRemove, ///< the entry is read-only, or cannot be deleted; it was left as it was
        cannotWrite,  ///< the setting is on and a fresh entry could not be written
    };
    Status status = updated;
    /// The entry, or for noFolder the folder, that could not be brought in line.
    std::string path;
};

/// Brings the autostart entry in line with startWithWindows; for the Launch Pad after the
/// Options dialog was confirmed. Removes any entry; then, when the setting is 1, writes a
/// fresh one starting executablePath (read before the dialog ran) in dataFolder.
///
/// An entry whose file is read-only (no write permission for its owner) is the user's to
/// keep: it is neither removed nor replaced. Whatever fails leaves the folder as it was and
/// is said in the result, for the caller to tell the user.
StartupShortcutResult UpdateStartupShortcut(DWORD startWithWindows, const std::string& dataFolder,
                                            const std::string& executablePath);

/// The same for the program's own setting g_bStartWithWindows and data folder g_szCurrentDir.
StartupShortcutResult UpdateStartupShortcut(const std::string& executablePath);

/// What to tell the user about a result that is not `updated`: a sentence naming the file.
std::string DescribeStartupShortcutProblem(const StartupShortcutResult& result);
