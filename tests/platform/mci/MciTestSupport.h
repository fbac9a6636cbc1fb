#pragma once

#include "platform/mci/MciPort.h"
#include "tests/support/audio/NotifyRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

/// Short forms of the command sequences the players send.
class MciCommands {
public:
    explicit MciCommands(MciPort& port)
        : m_port(port) {}

    /// MCI_OPEN by type id (0x3000), or with an element (0x3200).
    MCIERROR Open(DWORD type, MCIDEVICEID& id, const char* element = nullptr) {
        MCI_OPEN_PARMS open{};
        open.lpstrDeviceType = reinterpret_cast<const char*>(static_cast<DWORD_PTR>(type));
        open.lpstrElementName = element;
        DWORD flags =
            MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | (element != nullptr ? MCI_OPEN_ELEMENT : 0);
        MCIERROR error = m_port.SendCommand(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&open));
        id = open.wDeviceID;
        return error;
    }
    MCIERROR Play(MCIDEVICEID id, DWORD flags, NotifyWindow* window = nullptr, DWORD from = 0,
                  DWORD to = 0) {
        MCI_PLAY_PARMS play{};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
        play.dwFrom = from;
        play.dwTo = to;
        return m_port.SendCommand(id, MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&play));
    }
    MCIERROR Stop(MCIDEVICEID id, DWORD flags = MCI_WAIT, NotifyWindow* window = nullptr) {
        MCI_GENERIC_PARMS generic{};
        generic.dwCallback = reinterpret_cast<DWORD_PTR>(window);
        return m_port.SendCommand(id, MCI_STOP, flags, reinterpret_cast<DWORD_PTR>(&generic));
    }
    MCIERROR Close(MCIDEVICEID id, DWORD flags = MCI_WAIT, NotifyWindow* window = nullptr) {
        MCI_GENERIC_PARMS generic{};
        generic.dwCallback = reinterpret_cast<DWORD_PTR>(window);
        return m_port.SendCommand(id, MCI_CLOSE, flags, reinterpret_cast<DWORD_PTR>(&generic));
    }
    MCIERROR SetTimeFormat(MCIDEVICEID id, DWORD format) {
        MCI_SET_PARMS set{};
        set.dwTimeFormat = format;
        return m_port.SendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT,
                                  reinterpret_cast<DWORD_PTR>(&set));
    }
    MCIERROR Status(MCIDEVICEID id, DWORD item, DWORD_PTR& value, DWORD track = 0) {
        MCI_STATUS_PARMS status{};
        status.dwItem = item;
        status.dwTrack = track;
        DWORD flags = MCI_WAIT | MCI_STATUS_ITEM | (track != 0 ? MCI_TRACK : 0);
        MCIERROR error =
            m_port.SendCommand(id, MCI_STATUS, flags, reinterpret_cast<DWORD_PTR>(&status));
        value = status.dwReturn;
        return error;
    }
    /// One status item's value; a failed query fails the test.
    DWORD_PTR StatusOf(MCIDEVICEID id, DWORD item, DWORD track = 0) {
        DWORD_PTR value = 0;
        EXPECT_EQ(Status(id, item, value, track), 0u) << "status item " << item;
        return value;
    }
    /// The recording format of a quality: MCI_SET with every MCI_WAVE_SET_* flag (0x3F0000).
    MCIERROR SetWaveFormat(MCIDEVICEID id, WORD channels, DWORD samplesPerSecond, WORD bits) {
        MCI_WAVE_SET_PARMS set{};
        set.wFormatTag = WAVE_FORMAT_PCM;
        set.nChannels = channels;
        set.nSamplesPerSec = samplesPerSecond;
        set.nBlockAlign = static_cast<WORD>(channels * bits / 8);
        set.nAvgBytesPerSec = samplesPerSecond * set.nBlockAlign;
        set.wBitsPerSample = bits;
        return SetWave(id, 0x3F0000, set);
    }
    MCIERROR SetWave(MCIDEVICEID id, DWORD flags, const MCI_WAVE_SET_PARMS& set) {
        return m_port.SendCommand(id, MCI_SET, flags, reinterpret_cast<DWORD_PTR>(&set));
    }
    MCIERROR Record(MCIDEVICEID id, DWORD flags, NotifyWindow* window = nullptr) {
        MCI_RECORD_PARMS record{};
        record.dwCallback = reinterpret_cast<DWORD_PTR>(window);
        return m_port.SendCommand(id, MCI_RECORD, flags, reinterpret_cast<DWORD_PTR>(&record));
    }
    MCIERROR Save(MCIDEVICEID id, const std::string& path, DWORD flags = MCI_SAVE_FILE | MCI_WAIT,
                  NotifyWindow* window = nullptr) {
        MCI_SAVE_PARMS save{};
        save.dwCallback = reinterpret_cast<DWORD_PTR>(window);
        save.lpfilename = path.c_str();
        return m_port.SendCommand(id, MCI_SAVE, flags, reinterpret_cast<DWORD_PTR>(&save));
    }

private:
    MciPort& m_port;
};

/// Checks that window got exactly these MM_MCINOTIFY notices (code, device), in this order.
inline void ExpectNotices(const testaudio::NotifyRecorder& window,
                          const std::vector<std::pair<WPARAM, MCIDEVICEID>>& expected) {
    auto messages = window.Messages();
    ASSERT_EQ(messages.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(messages[i].message, MM_MCINOTIFY) << i;
        EXPECT_EQ(messages[i].wParam, expected[i].first) << i;
        EXPECT_EQ(messages[i].lParam, static_cast<LPARAM>(expected[i].second)) << i;
    }
}
