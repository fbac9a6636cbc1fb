#pragma once

#include "platform/wintypes/WinTypes.h"

#include <atomic>
#include <string>

class MciPort;

/// What the players read from the process at the moment they play: the command seam, the data
/// folder (fixed at start-up, after the players were made) and the window that completion
/// notices go to (changed as dialogs open and close). Non-owning.
struct MoxDeviceEnvironment {
    MciPort* mci = nullptr;
    const std::string* dataFolder = nullptr;
    const std::atomic<HWND>* notifyWindow = nullptr;
};
