#pragma once

#include "platform/mci/MciPort.h"

#include <map>
#include <set>
#include <string>
#include <vector>

/// A stand-in for the media command layer that writes down every command in a readable form
/// and answers with results the test chose. Device ids count up from 1 and are never reused.
class RecordingMciPort : public MciPort {
public:
    MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                         DWORD_PTR param) override;
    BOOL GetErrorString(MCIERROR error, char* text, UINT length) override;
    bool IsDeviceOpen(MCIDEVICEID device) override { return m_open.count(device) > 0; }

    /// The commands sent since the last call, e.g. "open type=516 flags=0x3000 -> 1",
    /// "play 1 flags=0xd from=3 to=4 callback=set", "record 1 flags=0x1 callback=set",
    /// "save 1 flags=0x102 file=/data/Wave Files/~quilon.wa~".
    std::vector<std::string> take();

    /// The next command of this kind (e.g. MCI_PLAY) fails with this error, once.
    void failNext(UINT message, MCIERROR error) { m_failures[message].push_back(error); }
    /// What MCI_STATUS answers for the number of tracks.
    DWORD_PTR trackCount = 12;

private:
    std::vector<std::string> m_log;
    std::map<UINT, std::vector<MCIERROR>> m_failures;
    std::set<MCIDEVICEID> m_open;
    MCIDEVICEID m_nextId = 1;
};
