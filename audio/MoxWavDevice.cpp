#include "audio/MoxWavDevice.h"

#include "model/MoxLockGuard.h"
#include "res/StringTable.h"

namespace {

const char* kWaveAudio =
    reinterpret_cast<const char*>(static_cast<std::uintptr_t>(MCI_DEVTYPE_WAVEFORM_AUDIO));

// "Wave Files/" without its trailing separator.
std::string waveFolder() {
    std::string folder = LoadResourceString(IDS_WAVE_FOLDER);
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

} // namespace

MoxWavDevice::MoxWavDevice(const MoxDeviceEnvironment& environment)
    : MoxDevice(environment) {
    ProbeOnce();
}

MoxWavDevice::~MoxWavDevice() {
    MoxWavDevice::Stop();
}

MCIERROR MoxWavDevice::Probe() {
    MCI_OPEN_PARMS open{};
    open.lpstrDeviceType = kWaveAudio;
    const MCIERROR opened = Send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &open);
    if (opened != 0) {
        m_lastError = "Unable to find the Wave file player for this PC";
        return opened;
    }
    return Send(open.wDeviceID, MCI_CLOSE, 0, nullptr);
}

bool MoxWavDevice::Play(const std::string& name) {
    MoxLockGuard guard(m_lock);
    if (m_playing) {
        return m_sounding;
    }
    std::string path;
    if (!ResolveDataFile(waveFolder(), name, path)) {
        m_lastError = "Unable to find the Wave file player for this PC: \"" + name +
                      "\" is not a bare file name";
        return false;
    }
    m_open = MCI_OPEN_PARMS{};
    m_open.lpstrDeviceType = kWaveAudio;
    m_open.lpstrElementName = path.c_str();
    const MCIERROR opened =
        Send(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &m_open);
    m_open.lpstrElementName = nullptr; // the path goes out of scope
    if (opened != 0) {
        m_lastError = "Unable to find the Wave file player for this PC";
        return false;
    }
    m_playing = true;
    MCI_PLAY_PARMS play{};
    play.dwCallback = NotifyCallback();
    const MCIERROR played = Send(m_open.wDeviceID, MCI_PLAY, MCI_NOTIFY, &play);
    m_sounding = played == 0;
    if (!m_sounding) {
        m_lastError = "Unable to play the Wave file:  Reason: " + ErrorText(played);
    }
    return m_sounding;
}

void MoxWavDevice::Stop() {
    MoxLockGuard guard(m_lock);
    if (m_playing) {
        MCI_GENERIC_PARMS generic{};
        Send(m_open.wDeviceID, MCI_STOP, MCI_WAIT, &generic);
        Send(m_open.wDeviceID, MCI_CLOSE, MCI_WAIT, &generic);
        m_playing = false;
        m_sounding = false;
    }
}
