#include "audio/MoxCDDevice.h"

#include <cstdlib>

MoxCDDevice::MoxCDDevice(const MoxDeviceEnvironment& environment)
    : MoxDevice(environment) {
    ProbeOnce();
}

MoxCDDevice::~MoxCDDevice() {
    StopItem();
}

MCIERROR MoxCDDevice::Probe() {
    MCI_OPEN_PARMS open{};
    const MCIERROR opened = OpenType(MCI_DEVTYPE_CD_AUDIO, open);
    if (opened != 0) {
        m_lastError = "Unable to find the CD player for this PC";
        NoteReason(opened, "");
        return opened;
    }
    m_status = MCI_STATUS_PARMS{};
    m_status.dwItem = MCI_STATUS_NUMBER_OF_TRACKS;
    const MCIERROR status = Send(open.wDeviceID, MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, &m_status);
    if (status != 0) {
        Send(open.wDeviceID, MCI_CLOSE, 0, nullptr);
        m_lastError = "Unable to deduce the number of tracks on the CD";
        NoteReason(status, "");
        return status;
    }
    m_trackCount = static_cast<DWORD>(std::min<DWORD_PTR>(m_status.dwReturn, maxTracks));
    const MCIERROR closed = Send(open.wDeviceID, MCI_CLOSE, 0, nullptr);
    if (closed != 0) {
        m_lastError = "Unable to close the CD player device";
        NoteReason(closed, "");
    }
    return closed;
}

bool MoxCDDevice::OpenItem(const std::string& name, MCIDEVICEID& id, DWORD& flags,
                           MCI_PLAY_PARMS& play) {
    const std::optional<DWORD> number = TrackNumber(name);
    if (!number) {
        return false;
    }
    const DWORD track = *number;
    m_subject = name;

    const MCIERROR opened = OpenType(MCI_DEVTYPE_CD_AUDIO, m_open);
    if (opened != 0) {
        m_lastError = "Unable to find the CD player for this PC" + ErrorText(opened);
        NoteReason(opened, "");
        return false;
    }
    MCI_SET_PARMS set{};
    set.dwTimeFormat = MCI_FORMAT_TMSF;
    const MCIERROR formatted = Send(m_open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    if (formatted != 0) {
        Send(m_open.wDeviceID, MCI_CLOSE, 0, nullptr);
        m_lastError = "Unable to communicate with the CD player in this PC" + ErrorText(formatted);
        NoteReason(formatted, "");
        return false;
    }
    // From the start of the track to the start of the next; past the last track the command
    // layer plays to the end of the disc.
    id = m_open.wDeviceID;
    flags = MCI_FROM | MCI_TO;
    play.dwFrom = MCI_MAKE_TMSF(static_cast<BYTE>(track % 256), 0, 0, 0);
    play.dwTo = MCI_MAKE_TMSF(static_cast<BYTE>((track + 1) % 256), 0, 0, 0);
    return true;
}

std::optional<DWORD> MoxCDDevice::TrackNumber(const std::string& name) {
    // The number follows whatever leading letters belong to "Track ".
    const std::size_t digits = name.find_first_not_of("Track ");
    if (digits == std::string::npos) {
        return std::nullopt;
    }
    return static_cast<DWORD>(std::strtoul(name.c_str() + digits, nullptr, 10));
}
