#pragma once

#include "app/CRegistryKey.h"

#include <string>

class RegistryStore;

/// The application object: its settings key and the names it keeps them under. The desktop
/// program wraps its event loop around one of these; start-up and shutdown are added there.
class CQuillonApp {
public:
    /// store: where the settings live; null means the process's default store (the user's
    /// configuration folder).
    explicit CQuillonApp(RegistryStore* store = nullptr);
    CQuillonApp(const CQuillonApp&) = delete;
    CQuillonApp& operator=(const CQuillonApp&) = delete;

    /// Reads the five settings into their globals. On the first run (no key yet) creates the
    /// key and writes the globals' current values, which are then the defaults. Returns 0, or
    /// the code of the step that failed; nothing is reported to the user.
    LONG LoadSettings();
    /// Writes the five globals into the key, each regardless of the others' results; writes
    /// nothing when the key does not exist. Returns 0 or the code of the last failed step.
    LONG SaveSettings();
    /// Loads the four file patterns from the string table into their globals.
    void LoadFilePatterns();

private:
    // Do not change these names: they are the addresses of stored settings.
    CRegistryKey m_regKey;
    const std::string m_strKeyPath = "Corvale\\QUILLON";
    const std::string m_strParentPath = "SOFTWARE";
    const std::string m_strStartWithWindows = "Start With Windows";
    const std::string m_strSendToTaskbar = "Send To Taskbar At Startup";
    const std::string m_strPlayDefaultPlayList = "Play Default Play List At Startup";
    const std::string m_strDefaultPlayList = "Default Play List";
    const std::string m_strRecordingQuality = "Recording Quality";
};
