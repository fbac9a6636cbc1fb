#include "audio/MoxMidDevice.h"

#include "model/MoxLockGuard.h"

namespace {

const char* kSequencer =
    reinterpret_cast<const char*>(static_cast<std::uintptr_t>(MCI_DEVTYPE_SEQUENCER));

} // namespace

MoxMidDevice::MoxMidDevice(const MoxDeviceEnvironment& environment)
    : MoxDevice(environment) {
    ProbeOnce();
}

MoxMidDevice::~MoxMidDevice() {
    MoxMidDevice::Stop();
}

MCIERROR MoxMidDevice::Probe() {
    MCI_OPEN_PARMS open{};
    open.lpstrDeviceType = kSequencer;
    const MCIERROR opened = Send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &open);
    if (opened != 0) {
        m_lastError = "Unable to find the Midi file player for this PC";
        return opened;
    }
    Send(open.wDeviceID, MCI_CLOSE, 0, nullptr);
    return 0;
}

bool MoxMidDevice::Play(const std::string& name) {
    MoxLockGuard guard(m_lock);
    if (m_playing) {
        return m_sounding;
    }
    std::string path;
    if (!ResolveDataFile("Midi files", name, path)) {
        m_lastError = "Unable to find the Midi file player for this PC: \"" + name +
                      "\" is not a bare file name";
        return false;
    }
    m_open = MCI_OPEN_PARMS{};
    m_open.lpstrDeviceType = kSequencer;
    m_open.lpstrElementName = path.c_str();
    const MCIERROR opened =
        Send(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &m_open);
    m_open.lpstrElementName = nullptr; // the path goes out of scope
    if (opened != 0) {
        m_lastError = "Unable to find the Midi file player for this PC" + ErrorText(opened);
        return false;
    }
    m_playing = true;
    MCI_PLAY_PARMS play{};
    play.dwCallback = NotifyCallback();
    const MCIERROR played = Send(m_open.wDeviceID, MCI_PLAY, MCI_NOTIFY, &play);
    m_sounding = played == 0;
    if (!m_sounding) {
        m_lastError = "Unable to play the Midi file.  Reason: " + ErrorText(played);
    }
    return m_sounding;
}

void MoxMidDevice::Stop() {
    MoxLockGuard guard(m_lock);
    if (m_playing) {
        MCI_GENERIC_PARMS generic{};
        Send(m_open.wDeviceID, MCI_STOP, MCI_WAIT, &generic);
        Send(m_open.wDeviceID, MCI_CLOSE, MCI_WAIT, &generic);
        m_playing = false;
        m_sounding = false;
    }
}
