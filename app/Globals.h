#pragma once

// The program's process-wide plain values. They are constant-initialised, so they exist before
// any code runs; the process-wide objects with constructors live in ProcessObjects, which fixes
// their order.

#include "platform/wintypes/WinTypes.h"

#include <atomic>
#include <string>

/// The data folder: the current directory when the program started. Every data path is built
/// from it, never from the executable's folder. Written once at start-up.
extern std::string g_szCurrentDir;

/// The window that media completion notices go to. The dialogs set it on the interface thread;
/// the players read it on the worker thread.
extern std::atomic<HWND> g_hNotifyWnd;

// The five settings, stored under the program's settings key.
extern DWORD g_bStartWithWindows;        ///< "Start With Windows": 0 or 1
extern DWORD g_bSendToTaskbar;           ///< "Send To Taskbar At Startup": 0 or 1
extern DWORD g_bPlayDefaultPlayList;     ///< "Play Default Play List At Startup": 0 or 1
extern DWORD g_nRecordingQuality;        ///< "Recording Quality": 0 average, 1 good, 2 best
extern std::string g_strDefaultPlayList; ///< "Default Play List": a file name in the data folder

// The file patterns, loaded from the string table at start-up.
extern std::string g_strWavPattern;
extern std::string g_strMidPattern;
extern std::string g_strRmiPattern;
extern std::string g_strPlaPattern;
