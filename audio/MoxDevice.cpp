#include "audio/MoxDevice.h"

#include "model/MoxLockGuard.h"
#include "platform/files/FindPathNoCase.h"
#include "platform/mci/MciPort.h"

#include <cstring>

MoxDevice::MoxDevice(const MoxDeviceEnvironment& environment)
    : m_environment(environment) {}

std::string MoxDevice::LastError() {
    MoxLockGuard guard(m_lock);
    return m_lastError;
}

std::string MoxDevice::LastReason() {
    MoxLockGuard guard(m_lock);
    return m_lastReason;
}

void MoxDevice::NoteReason(MCIERROR error, const std::string& subject) {
    std::string reason = m_environment.mci->LastFailure();
    if (reason.empty()) {
        reason = subject.empty() ? ErrorText(error) : subject + ": " + ErrorText(error);
    }
    m_lastReason = std::move(reason);
}

void MoxDevice::ProbeOnce() {
    m_lastError.clear();
    m_playing = false;
    m_ready = Probe() == 0;
}

MCIERROR MoxDevice::Send(MCIDEVICEID device, UINT message, DWORD flags, void* params) {
    return m_environment.mci->SendCommand(device, message, flags,
                                          reinterpret_cast<DWORD_PTR>(params));
}

MCIERROR MoxDevice::OpenType(DWORD deviceType, MCI_OPEN_PARMS& open) {
    open = MCI_OPEN_PARMS{};
    open.lpstrDeviceType = TypeId(deviceType);
    return Send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &open);
}

const char* MoxDevice::TypeId(DWORD deviceType) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(deviceType));
}

std::string MoxDevice::ErrorText(MCIERROR error) {
    char text[128];
    std::memset(text, 0, sizeof text);
    m_environment.mci->GetErrorString(error, text, sizeof text);
    text[sizeof text - 1] = '\0';
    return text;
}

std::optional<std::string> MoxDevice::DataFilePath(const std::string& dataFolder,
                                                   const std::string& folder,
                                                   const std::string& name) {
    // Names come from play list files, which anyone can write: a name that reaches out of its
    // folder is refused. A backslash was a folder separator where the lists were first made.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos) {
        return std::nullopt;
    }
    const std::string base = dataFolder.empty() ? "." : dataFolder;
    const std::string relative = folder + "/" + name;
    return FindPathNoCase(base, relative).value_or(base + "/" + relative);
}

bool MoxDevice::ResolveDataFile(const std::string& folder, const std::string& name,
                                std::string& path) {
    const auto found = DataFilePath(m_environment.dataFolder == nullptr ? std::string()
                                                                        : *m_environment.dataFolder,
                                    folder, name);
    if (!found) {
        return false;
    }
    path = *found;
    return true;
}

DWORD_PTR MoxDevice::NotifyCallback() const {
    return m_environment.notifyWindow == nullptr ? 0
                                                 : MCI_CALLBACK(m_environment.notifyWindow->load());
}

bool MoxDevice::OpenFile(const std::string& folder, DWORD deviceType, const std::string& name,
                         const std::string& openFailure, bool openFailureWithText,
                         MCIDEVICEID& id) {
    std::string path;
    if (!ResolveDataFile(folder, name, path)) {
        m_lastReason = "\"" + name + "\" is not a bare file name";
        m_lastError = openFailure + ": " + m_lastReason;
        return false;
    }
    MCI_OPEN_PARMS open{};
    open.lpstrDeviceType = TypeId(deviceType);
    open.lpstrElementName = path.c_str();
    const MCIERROR opened =
        Send(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &open);
    m_subject = path;
    if (opened != 0) {
        m_lastError = openFailure + (openFailureWithText ? ErrorText(opened) : std::string());
        NoteReason(opened, m_subject);
        return false;
    }
    id = open.wDeviceID;
    return true;
}

bool MoxDevice::PlayItem(const std::string& name) {
    MoxLockGuard guard(m_lock);
    if (m_playing) {
        return m_sounding;
    }
    MCIDEVICEID id = 0;
    DWORD flags = 0;
    MCI_PLAY_PARMS play{};
    if (!OpenItem(name, id, flags, play)) {
        return false;
    }
    m_deviceId = id;
    return StartOpened(flags, play, PlayFailure());
}

void MoxDevice::StopItem() {
    MoxLockGuard guard(m_lock);
    StopOpened();
    UncueLocked();
}

MCIDEVICEID MoxDevice::LastPlay() {
    MoxLockGuard guard(m_lock);
    if (!m_cues.empty()) {
        return m_cues.back();
    }
    return m_playing && m_sounding ? m_deviceId : 0;
}

bool MoxDevice::Cue(const std::string& name, MoxItemDevice& after) {
    // Asked before this player's lock is taken: two players' locks are never held together.
    auto* followed = dynamic_cast<MoxDevice*>(&after);
    const MCIDEVICEID afterId = followed != nullptr ? followed->LastPlay() : 0;
    MoxLockGuard guard(m_lock);
    if (afterId == 0 || m_cues.size() >= kMaxCues) {
        return false; // nothing plays to follow, or enough waits already
    }
    MCIDEVICEID id = 0;
    DWORD flags = 0;
    MCI_PLAY_AFTER_PARMS play{};
    if (!OpenItem(name, id, flags, play)) {
        return false;
    }
    play.dwCallback = NotifyCallback();
    play.wAfterDevice = afterId;
    const MCIERROR played =
        Send(id, MCI_PLAY, flags | MCI_NOTIFY | MCI_PLAY_NEAREND | MCI_PLAY_AFTER, &play);
    if (played != 0) {
        m_lastError = PlayFailure() + ErrorText(played);
        NoteReason(played, m_subject);
        MCI_GENERIC_PARMS generic{};
        Send(id, MCI_CLOSE, MCI_WAIT, &generic);
        return false;
    }
    m_cues.push_back(id);
    return true;
}

void MoxDevice::Uncue() {
    MoxLockGuard guard(m_lock);
    UncueLocked();
}

void MoxDevice::UncueLocked() {
    while (!m_cues.empty()) {
        MCI_GENERIC_PARMS generic{};
        Send(m_cues.back(), MCI_STOP, MCI_WAIT, &generic);
        Send(m_cues.back(), MCI_CLOSE, MCI_WAIT, &generic);
        m_cues.pop_back();
    }
}

void MoxDevice::Promote() {
    MoxLockGuard guard(m_lock);
    if (m_cues.empty()) {
        return;
    }
    StopOpened(); // what the cue followed, if it played here
    m_deviceId = m_cues.front();
    m_cues.erase(m_cues.begin());
    m_playing = true;
    m_sounding = true;
}

void MoxDevice::Finish() {
    MoxLockGuard guard(m_lock);
    StopOpened();
}

bool MoxDevice::StartOpened(DWORD flags, MCI_PLAY_PARMS& play, const std::string& playFailure) {
    m_playing = true;
    play.dwCallback = NotifyCallback();
    const MCIERROR played =
        Send(m_deviceId, MCI_PLAY, flags | MCI_NOTIFY | MCI_PLAY_NEAREND, &play);
    m_sounding = played == 0;
    if (!m_sounding) {
        m_lastError = playFailure + ErrorText(played);
        NoteReason(played, m_subject);
    }
    return m_sounding;
}

void MoxDevice::StopOpened() {
    if (m_playing) {
        MCI_GENERIC_PARMS generic{};
        Send(m_deviceId, MCI_STOP, MCI_WAIT, &generic);
        Send(m_deviceId, MCI_CLOSE, MCI_WAIT, &generic);
        m_playing = false;
        m_sounding = false;
    }
}
