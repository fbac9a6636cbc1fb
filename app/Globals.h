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

/// The five settings, stored under the program's settings key.
struct AppSettings {
    DWORD startWithWindows = 0;    ///< "Start With Windows": 0 or 1
    DWORD sendToTaskbar = 0;       ///< "Send To Taskbar At Startup": 0 or 1
    DWORD playDefaultPlayList = 0; ///< "Play Default Play List At Startup": 0 or 1
    DWORD recordingQuality = 1;    ///< "Recording Quality": 0 average, 1 good, 2 best
    std::string defaultPlayList;   ///< "Default Play List": a file name in the data folder
};

/// The patterns that find the data folder's files, loaded from the string table at start-up.
struct FilePatterns {
    std::string wav;
    std::string mid;
    std::string rmi;
    std::string pla;
};

// The program's settings and patterns; the g_ names below refer into them, so that code given
// an AppSettings or FilePatterns of its own (dialogs, tests) and code that uses the names see
// the same values in the program.
extern AppSettings g_settings;
extern FilePatterns g_filePatterns;

extern DWORD& g_bStartWithWindows;
extern DWORD& g_bSendToTaskbar;
extern DWORD& g_bPlayDefaultPlayList;
extern DWORD& g_nRecordingQuality;
extern std::string& g_strDefaultPlayList;

extern std::string& g_strWavPattern;
extern std::string& g_strMidPattern;
extern std::string& g_strRmiPattern;
extern std::string& g_strPlaPattern;
