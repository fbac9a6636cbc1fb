#include "app/CQuillonApp.h"

#include "app/Globals.h"
#include "mixer/MixerGlobals.h"
#include "platform/files/CurrentDirectory.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "res/StringTable.h"

#include <array>

namespace {

// The longest preferred play list name taken is one less, for the terminating zero.
constexpr DWORD kPlayListNameBuffer = 256;

} // namespace

CQuillonApp::CQuillonApp(RegistryStore* store)
    : m_regKey(store) {}

bool CQuillonApp::InitInstance(LaunchPad& launchPad) {
    // The window system needs no preparing here: control hosting, dialog appearance and COM
    // belong to the platform this program was first made for.
    SetUpMixer();
    LoadFilePatterns();
    g_strDefaultPlayList.clear();
    LoadSettings();

    const auto currentDir = GetCurrentDirectoryPath();
    if (!currentDir) {
        AfxMessageBox("Unable to open current directory", MB_OK | MB_ICONSTOP);
        return false;
    }
    g_szCurrentDir = *currentDir;

    launchPad.RunModal();
    SaveSettings(); // however the Launch Pad was closed
    launchPad.Destroy();
    return false;
}

int CQuillonApp::ExitInstance() {
    return 0;
}

void CQuillonApp::SetUpMixer() {
    // Whatever the search finds, start-up goes on: the calibration warns about what is missing
    // and substitutes default steps.
    FindMixerControls();
    CalibrateVolumeSteps();
}

LONG CQuillonApp::LoadSettings() {
    if (const LONG result =
            m_regKey.SetKey(CRegistryKey::rootCurrentUser, m_strParentPath, m_strKeyPath);
        result != ERROR_SUCCESS) {
        return result;
    }
    if (m_regKey.Open() == ERROR_SUCCESS) {
        m_regKey.QueryNumber(m_strStartWithWindows, g_bStartWithWindows);
        m_regKey.QueryNumber(m_strSendToTaskbar, g_bSendToTaskbar);
        m_regKey.QueryNumber(m_strPlayDefaultPlayList, g_bPlayDefaultPlayList);
        m_regKey.QueryNumberKeep(m_strRecordingQuality, g_nRecordingQuality);
        std::array<char, kPlayListNameBuffer> name{};
        if (m_regKey.QueryString(m_strDefaultPlayList.c_str(), name.data(), kPlayListNameBuffer) ==
            ERROR_SUCCESS) {
            g_strDefaultPlayList = name.data();
        }
        m_regKey.Close();
        return ERROR_SUCCESS;
    }
    const LONG created = m_regKey.Create();
    if (created != REG_CREATED_NEW_KEY && created != REG_OPENED_EXISTING_KEY) {
        return created;
    }
    m_regKey.SetNumber(m_strStartWithWindows, g_bStartWithWindows);
    m_regKey.SetNumber(m_strSendToTaskbar, g_bSendToTaskbar);
    m_regKey.SetNumber(m_strPlayDefaultPlayList, g_bPlayDefaultPlayList);
    m_regKey.SetNumber(m_strRecordingQuality, g_nRecordingQuality);
    m_regKey.SetString(m_strDefaultPlayList, g_strDefaultPlayList);
    m_regKey.Close();
    return ERROR_SUCCESS;
}

LONG CQuillonApp::SaveSettings() {
    if (const LONG result =
            m_regKey.SetKey(CRegistryKey::rootCurrentUser, m_strParentPath, m_strKeyPath);
        result != ERROR_SUCCESS) {
        return result;
    }
    if (const LONG result = m_regKey.Open(); result != ERROR_SUCCESS) {
        return result;
    }
    LONG result = ERROR_SUCCESS;
    const auto keep = [&result](LONG step) {
        if (step != ERROR_SUCCESS) {
            result = step;
        }
    };
    keep(m_regKey.SetNumber(m_strStartWithWindows, g_bStartWithWindows));
    keep(m_regKey.SetNumber(m_strSendToTaskbar, g_bSendToTaskbar));
    keep(m_regKey.SetNumber(m_strPlayDefaultPlayList, g_bPlayDefaultPlayList));
    keep(m_regKey.SetNumber(m_strRecordingQuality, g_nRecordingQuality));
    keep(m_regKey.SetString(m_strDefaultPlayList, g_strDefaultPlayList));
    m_regKey.Close();
    return result;
}

void CQuillonApp::LoadFilePatterns() {
    g_strMidPattern = LoadResourceString(IDS_MID_PATTERN);
    g_strRmiPattern = LoadResourceString(IDS_RMI_PATTERN);
    g_strWavPattern = LoadResourceString(IDS_WAV_PATTERN);
    g_strPlaPattern = LoadResourceString(IDS_PLA_PATTERN);
}
