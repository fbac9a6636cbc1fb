#pragma once

#include "app/ProcessObject.h"

#include <memory>

class MciPort;
class MoxCDDevice;
class MoxMidDevice;
class MoxWavDevice;
class MoxPlayListPlayer;

// The process-wide objects, by the names the program uses for them.
extern ProcessObject<MciPort> g_mci;
extern ProcessObject<MoxCDDevice> g_cdDevice;
extern ProcessObject<MoxMidDevice> g_midDevice;
extern ProcessObject<MoxWavDevice> g_wavDevice;
extern ProcessObject<MoxPlayListPlayer> g_player;

/// Makes the process-wide objects in a fixed order (the sound engine and the command layer,
/// the three players, which probe their devices, then the play list player, which starts its
/// worker) and attaches their names; destroys them in the reverse order and detaches the
/// names. One instance lives for the whole run of a program, made first thing in main.
class ProcessObjects {
public:
    /// mci: the command layer the players use (not owned; it must outlive this object).
    explicit ProcessObjects(MciPort& mci);
    ~ProcessObjects();
    ProcessObjects(const ProcessObjects&) = delete;
    ProcessObjects& operator=(const ProcessObjects&) = delete;

private:
    std::unique_ptr<MoxCDDevice> m_cdDevice;
    std::unique_ptr<MoxMidDevice> m_midDevice;
    std::unique_ptr<MoxWavDevice> m_wavDevice;
    std::unique_ptr<MoxPlayListPlayer> m_player;
};
