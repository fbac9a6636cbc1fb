#include "audio/MoxMidDevice.h"

MoxMidDevice::MoxMidDevice(const MoxDeviceEnvironment& environment)
    : MoxDevice(environment) {
    ProbeOnce();
}

MoxMidDevice::~MoxMidDevice() {
    StopItem();
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

bool MoxMidDevice::OpenItem(const std::string& name, MCIDEVICEID& id, DWORD& flags,
                            MCI_PLAY_PARMS&) {
    flags = 0; // the whole file
    return OpenFile(Folder(), MCI_DEVTYPE_SEQUENCER, name,
                    "Unable to find the Midi file player for this PC", true, id);
}
