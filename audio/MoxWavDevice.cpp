#include "audio/MoxWavDevice.h"

#include "res/StringTable.h"

std::string MoxWavDevice::Folder() {
    // The resource says "Wave Files/": without its trailing separator.
    std::string folder = LoadResourceString(IDS_WAVE_FOLDER);
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

MoxWavDevice::MoxWavDevice(const MoxDeviceEnvironment& environment)
    : MoxDevice(environment) {
    ProbeOnce();
}

MoxWavDevice::~MoxWavDevice() {
    StopItem();
}

MCIERROR MoxWavDevice::Probe() {
    MCI_OPEN_PARMS open{};
    const MCIERROR opened = OpenType(MCI_DEVTYPE_WAVEFORM_AUDIO, open);
    if (opened != 0) {
        m_lastError = "Unable to find the Wave file player for this PC";
        NoteReason(opened, "");
        return opened;
    }
    return Send(open.wDeviceID, MCI_CLOSE, 0, nullptr);
}

bool MoxWavDevice::OpenItem(const std::string& name, MCIDEVICEID& id, DWORD& flags,
                            MCI_PLAY_PARMS&) {
    flags = 0; // the whole file
    return OpenFile(Folder(), MCI_DEVTYPE_WAVEFORM_AUDIO, name,
                    "Unable to find the Wave file player for this PC", false, id);
}
