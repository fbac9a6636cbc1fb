#include "audio/MoxMidDevice.h"

#include "model/MoxLockGuard.h"

MoxMidDevice::MoxMidDevice(const MoxDeviceEnvironment& environment)
    : MoxDevice(environment) {
    ProbeOnce();
}

MoxMidDevice::~MoxMidDevice() {
    MoxMidDevice::Stop();
}

MCIERROR MoxMidDevice::Probe() {
    MCI_OPEN_PARMS open{};
    const MCIERROR opened = OpenType(MCI_DEVTYPE_SEQUENCER, open);
    if (opened != 0) {
        m_lastError = "Unable to find the Midi file player for this PC";
        NoteReason(opened, "");
        return opened;
    }
    Send(open.wDeviceID, MCI_CLOSE, 0, nullptr);
    return 0;
}

std::string MoxMidDevice::Folder() {
    // Written so here; it is found whatever its case ("Midi Files" on disk).
    return "Midi files";
}

bool MoxMidDevice::Play(const std::string& name) {
    MoxLockGuard guard(m_lock);
    return PlayFile(Folder(), MCI_DEVTYPE_SEQUENCER, name,
                    "Unable to find the Midi file player for this PC", true,
                    "Unable to play the Midi file.  Reason: ");
}

void MoxMidDevice::Stop() {
    MoxLockGuard guard(m_lock);
    StopOpened();
}
