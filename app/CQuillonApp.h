#pragma once

#include "app/CRegistryKey.h"

#include <string>

class RegistryStore;

/// The application object: start-up, shutdown, and the settings key with the names it keeps
/// them under. It knows nothing of the window system: the Launch Pad reaches it through the
/// LaunchPad interface, so that the order of start-up can be checked without a display.
class CQuillonApp {
public:
    /// The program's main window as start-up sees it.
    class LaunchPad {
    public:
        virtual ~LaunchPad() = default;
        /// Makes the Launch Pad and runs it modally: the program's whole working life. When
        /// it returns the window is gone and playback has stopped; the object remains until
        /// Destroy. Returns the dialog's result.
        virtual int RunModal() = 0;
        /// Destroys the Launch Pad object.
        virtual void Destroy() = 0;
    };

    /// store: where the settings live; null means the process's default store (the user's
    /// configuration folder).
    explicit CQuillonApp(RegistryStore* store = nullptr);
    CQuillonApp(const CQuillonApp&) = delete;
    CQuillonApp& operator=(const CQuillonApp&) = delete;

    /// The start-up routine: mixer faders, file patterns, settings and data folder, then the
    /// Launch Pad for as long as the program runs, then the settings are written back. When
    /// the data folder cannot be read it says so and returns at once, without the Launch Pad
    /// and without writing the settings. Returns false in every case: the caller ends the
    /// program after it.
    bool InitInstance(LaunchPad& launchPad);
    /// The shutdown routine; returns the process's exit code.
    int ExitInstance();

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
    /// Finds the volume faders of mixer device 0 and derives the volume steps from them; warns
    /// the user about each kind it cannot work out.
    void SetUpMixer();

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
