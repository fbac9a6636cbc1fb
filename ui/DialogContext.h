#pragma once

#include "app/Globals.h"
#include "app/StartupShortcut.h"
#include "model/MoxItemOutputs.h"
#include "platform/wintypes/WinTypes.h"

#include <atomic>
#include <functional>
#include <string>

class MciPort;
class MixerFaders;
class MoxCDDevice;
class MoxMidDevice;
class MoxPlayListPlayer;
class MoxRecorder;
class MoxWavDevice;

/// What the dialogs work with, handed to each in its constructor. The desktop program's
/// start-up fills it from the process-wide objects (ProcessDialogContext); tests fill it with
/// objects of their own. Nothing here is owned: all of it outlives the dialogs.
struct DialogContext {
    /// The data folder (the program's g_szCurrentDir, set by start-up before any dialog runs).
    const std::string* dataFolder = nullptr;
    /// Where completion notices go: the open dialog that handles them names itself here.
    std::atomic<HWND>* notifyWindow = nullptr;
    AppSettings* settings = nullptr;
    const FilePatterns* patterns = nullptr;
    MciPort* mci = nullptr;
    MoxPlayListPlayer* player = nullptr;
    MoxCDDevice* cdDevice = nullptr;
    MoxMidDevice* midDevice = nullptr;
    MoxWavDevice* wavDevice = nullptr;
    MoxRecorder* recorder = nullptr;
    /// The volume faders found at start-up and their steps.
    MixerFaders* faders = nullptr;
    /// Writes the settings to the store (the Launch Pad, after the Options dialog's OK).
    std::function<void()> saveSettings;
    /// Brings the autostart entry in line with settings->startWithWindows; the argument is the
    /// program's executable, read before the Options dialog ran. Says what failed, if anything.
    std::function<StartupShortcutResult(const std::string& executablePath)> updateStartupShortcut;

    /// Where loaded and built items go: each kind's player and its volume fader.
    MoxItemOutputs ItemOutputs() const;
};
