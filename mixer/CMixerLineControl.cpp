#include "mixer/CMixerLineControl.h"

bool CMixerLineControl::Close() {
    std::lock_guard lock(m_mutex);
    return m_mixer.Close();
}

bool CMixerLineControl::Copy(const CMixerLineControl& other) {
    UINT deviceId = 0;
    CMixerLine line;
    CMixerControl control;
    {
        // One lock at a time: two bindings copied into each other on two threads must not
        // wait for each other.
        std::lock_guard lock(other.m_mutex);
        deviceId = other.m_mixer.GetDeviceId();
        line = other.m_line;
        control = other.m_control;
    }
    std::lock_guard lock(m_mutex);
    const bool opened = m_mixer.Open(deviceId, 0, 0, 0);
    m_line = line;
    m_control = control;
    return opened;
}

bool CMixerLineControl::Open(UINT deviceId) {
    std::lock_guard lock(m_mutex);
    return m_mixer.Open(deviceId, 0, 0, 0);
}

void CMixerLineControl::SetLine(const CMixerLine& line) {
    std::lock_guard lock(m_mutex);
    m_line = line;
}

void CMixerLineControl::SetControl(const CMixerControl& control) {
    std::lock_guard lock(m_mutex);
    m_control = control;
}

CMixerLineControl& CMixerLineControl::operator=(const CMixerLineControl& other) {
    Copy(other);
    return *this;
}

CMixerLine CMixerLineControl::GetLine() const {
    std::lock_guard lock(m_mutex);
    return m_line;
}

CMixerControl CMixerLineControl::GetControl() const {
    std::lock_guard lock(m_mutex);
    return m_control;
}

UINT CMixerLineControl::GetDeviceId() const {
    std::lock_guard lock(m_mutex);
    return m_mixer.GetDeviceId();
}

HMIXER CMixerLineControl::GetHandle() const {
    std::lock_guard lock(m_mutex);
    return m_mixer.GetHandle();
}

MMRESULT CMixerLineControl::GetLastResult() const {
    std::lock_guard lock(m_mutex);
    return m_mixer.GetLastResult();
}

void CMixerLineControl::GetErrorText(std::string& text) const {
    std::lock_guard lock(m_mutex);
    m_mixer.GetErrorText(text);
}
