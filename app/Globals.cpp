#include "app/Globals.h"

std::string g_szCurrentDir;
std::atomic<HWND> g_hNotifyWnd{nullptr};

AppSettings g_settings;
FilePatterns g_filePatterns;

DWORD& g_bStartWithWindows = g_settings.startWithWindows;
DWORD& g_bSendToTaskbar = g_settings.sendToTaskbar;
DWORD& g_bPlayDefaultPlayList = g_settings.playDefaultPlayList;
DWORD& g_nRecordingQuality = g_settings.recordingQuality;
std::string& g_strDefaultPlayList = g_settings.defaultPlayList;

std::string& g_strWavPattern = g_filePatterns.wav;
std::string& g_strMidPattern = g_filePatterns.mid;
std::string& g_strRmiPattern = g_filePatterns.rmi;
std::string& g_strPlaPattern = g_filePatterns.pla;
