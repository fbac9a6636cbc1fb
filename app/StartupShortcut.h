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

/// Brings the autostart entry in line with g_bStartWithWindows; for the Launch Pad after the
/// Options dialog was confirmed. Removes any entry; then, when the setting is 1 and nothing
/// is left at the entry's path, writes a fresh one starting executablePath (read before the
/// dialog ran) in the data folder g_szCurrentDir. Failures leave the folder as it was and are
/// not reported.
void UpdateStartupShortcut(const std::string& executablePath);
