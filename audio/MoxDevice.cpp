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

void MoxDevice::ProbeOnce() {
    m_lastError.clear();
    m_playing = false;
    m_ready = Probe() == 0;
}

MCIERROR MoxDevice::Send(MCIDEVICEID device, UINT message, DWORD flags, void* params) {
    return m_environment.mci->SendCommand(device, message, flags,
                                          reinterpret_cast<DWORD_PTR>(params));
}

std::string MoxDevice::ErrorText(MCIERROR error) {
    char text[128];
    std::memset(text, 0, sizeof text);
    m_environment.mci->GetErrorString(error, text, sizeof text);
    text[sizeof text - 1] = '\0';
    return text;
}

bool MoxDevice::ResolveDataFile(const std::string& folder, const std::string& name,
                                std::string& path) {
    // Names come from play list files, which anyone can write: a name that reaches out of its
    // folder is refused. A backslash was a folder separator where the lists were first made.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos) {
        return false;
    }
    const std::string base = m_environment.dataFolder == nullptr ? "." : *m_environment.dataFolder;
    const std::string relative = folder + "/" + name;
    const auto found = FindPathNoCase(base, relative);
    path = found ? *found : base + "/" + relative;
    return true;
}

DWORD_PTR MoxDevice::NotifyCallback() const {
    return m_environment.notifyWindow == nullptr ? 0
                                                 : MCI_CALLBACK(m_environment.notifyWindow->load());
}
