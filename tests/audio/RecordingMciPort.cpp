#include "tests/audio/RecordingMciPort.h"

#include <cstdio>
#include <cstring>

namespace {

std::string hex(DWORD_PTR value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

} // namespace

MCIERROR RecordingMciPort::SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                                       DWORD_PTR param) {
    std::string entry;
    MCIERROR result = 0;
    auto& failures = m_failures[message];
    if (!failures.empty()) {
        result = failures.front();
        failures.erase(failures.begin());
    }
    switch (message) {
    case MCI_OPEN: {
        auto* open = reinterpret_cast<MCI_OPEN_PARMS*>(param);
        entry =
            "open type=" + std::to_string(reinterpret_cast<std::uintptr_t>(open->lpstrDeviceType)) +
            " flags=" + hex(flags);
        if ((flags & MCI_OPEN_ELEMENT) != 0) {
            entry += std::string(" element=") +
                     (open->lpstrElementName ? open->lpstrElementName : "(null)");
        }
        if (result == 0) {
            open->wDeviceID = m_nextId++;
            m_open.insert(open->wDeviceID);
            entry += " -> " + std::to_string(open->wDeviceID);
        }
        break;
    }
    case MCI_CLOSE:
        entry = "close " + std::to_string(device) + " flags=" + hex(flags);
        if (result == 0) {
            m_open.erase(device);
        }
        break;
    case MCI_PLAY: {
        auto* play = reinterpret_cast<MCI_PLAY_PARMS*>(param);
        entry = "play " + std::to_string(device) + " flags=" + hex(flags);
        if ((flags & MCI_FROM) != 0) {
            entry += " from=" + std::to_string(play->dwFrom);
        }
        if ((flags & MCI_TO) != 0) {
            entry += " to=" + std::to_string(play->dwTo);
        }
        if ((flags & MCI_PLAY_AFTER) != 0) {
            entry +=
                " after=" + std::to_string(static_cast<MCI_PLAY_AFTER_PARMS*>(play)->wAfterDevice);
        }
        entry += play->dwCallback != 0 ? " callback=set" : " callback=none";
        break;
    }
    case MCI_STOP:
        entry = "stop " + std::to_string(device) + " flags=" + hex(flags);
        break;
    case MCI_SET: {
        entry = "set " + std::to_string(device) + " flags=" + hex(flags);
        if ((flags & 0x3F0000) != 0) {
            // The wave format block; every field is written down, given or not.
            auto* wave = reinterpret_cast<MCI_WAVE_SET_PARMS*>(param);
            entry += " tag=" + std::to_string(wave->wFormatTag) +
                     " channels=" + std::to_string(wave->nChannels) +
                     " rate=" + std::to_string(wave->nSamplesPerSec) +
                     " bytes=" + std::to_string(wave->nAvgBytesPerSec) +
                     " align=" + std::to_string(wave->nBlockAlign) +
                     " bits=" + std::to_string(wave->wBitsPerSample);
            entry += wave->dwCallback != 0 ? " callback=set" : " callback=none";
        } else {
            auto* set = reinterpret_cast<MCI_SET_PARMS*>(param);
            entry += " format=" + std::to_string(set->dwTimeFormat);
        }
        break;
    }
    case MCI_RECORD: {
        auto* record = reinterpret_cast<MCI_RECORD_PARMS*>(param);
        entry = "record " + std::to_string(device) + " flags=" + hex(flags);
        entry += record->dwCallback != 0 ? " callback=set" : " callback=none";
        break;
    }
    case MCI_SAVE: {
        auto* save = reinterpret_cast<MCI_SAVE_PARMS*>(param);
        entry = "save " + std::to_string(device) + " flags=" + hex(flags) +
                " file=" + (save->lpfilename != nullptr ? save->lpfilename : "(null)");
        break;
    }
    case MCI_STATUS: {
        auto* status = reinterpret_cast<MCI_STATUS_PARMS*>(param);
        entry = "status " + std::to_string(device) + " flags=" + hex(flags) +
                " item=" + std::to_string(status->dwItem);
        if (result == 0) {
            status->dwReturn = trackCount;
        }
        break;
    }
    default:
        entry = "command " + hex(message) + " " + std::to_string(device) + " flags=" + hex(flags);
        break;
    }
    if (result != 0) {
        entry += " FAILS " + std::to_string(result);
    }
    m_log.push_back(entry);
    return result;
}

BOOL RecordingMciPort::GetErrorString(MCIERROR error, char* text, UINT length) {
    std::snprintf(text, length, "<error %u>", error);
    return 1;
}

std::vector<std::string> RecordingMciPort::take() {
    std::vector<std::string> out;
    out.swap(m_log);
    return out;
}
