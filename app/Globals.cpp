#include "app/Globals.h"

std::string g_szCurrentDir;
std::atomic<HWND> g_hNotifyWnd{nullptr};

DWORD g_bStartWithWindows = 0;
DWORD g_bSendToTaskbar = 0;
DWORD g_bPlayDefaultPlayList = 0;
DWORD g_nRecordingQuality = 1;
std::string g_strDefaultPlayList;

std::string g_strWavPattern;
std::string g_strMidPattern;
std::string g_strRmiPattern;
std::string g_strPlaPattern;
