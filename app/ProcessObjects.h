#pragma once

#include "app/ProcessObject.h"
#include "model/MoxItemOutputs.h"

#include <memory>

class MciPort;
class MoxCDDevice;
class MoxMidDevice;
class MoxWavDevice;
class MoxPlayListPlayer;
class MoxRecorder;
class SoundEngine;

// The process-wide objects, by the names the program uses for them. The mixer's objects
// (g_mixer, g_synthVolume, ...) are plain globals of their own (mixer/MixerGlobals.h).
extern ProcessObject<SoundEngine> g_engine;
extern ProcessObject<MciPort> g_mci;
extern ProcessObject<MoxCDDevice> g_cdDevice;
extern ProcessObject<MoxMidDevice> g_midDevice;
extern ProcessObject<MoxWavDevice> g_wavDevice;
extern ProcessObject<MoxPlayListPlayer> g_player;
extern ProcessObject<MoxRecorder> g_recorder;

/// Makes the process-wide objects in a fixed order and attaches their names; destroys them
/// in the reverse order and detaches the names. One instance lives for the whole run of a
/// program, made first thing in main:
///   1. the sound engine and the media command layer over it (installed as the process's),
///   2. the software mixer, wired to the engine's bus faders and remembering its levels in
///      the per-user store (installed as mixer device 0),
///   3. the three shared players, which probe their devices,
///   4. the play list player, which starts its worker thread,
///   5. the announcement recorder (recording at the quality of g_nRecordingQuality).
class ProcessObjects {
public:
    /// The real objects, configured from the environment (QUILLON_SOUNDFONT,
    /// QUILLON_CD_DEVICE).
    ProcessObjects();
    /// Players over a command layer of the caller's own, and no engine or software mixer
    /// (tests). The layer must outlive this object.
    explicit ProcessObjects(MciPort& mci);
    ~ProcessObjects();
    ProcessObjects(const ProcessObjects&) = delete;
    ProcessObjects& operator=(const ProcessObjects&) = delete;

    /// Where loaded items go: each kind's player and its volume fader.
    static MoxItemOutputs ItemOutputs();

private:
    struct Sound;

    void makePlayers(MciPort& mci);

    std::unique_ptr<Sound> m_sound;
    std::unique_ptr<MoxCDDevice> m_cdDevice;
    std::unique_ptr<MoxMidDevice> m_midDevice;
    std::unique_ptr<MoxWavDevice> m_wavDevice;
    std::unique_ptr<MoxPlayListPlayer> m_player;
    std::unique_ptr<MoxRecorder> m_recorder;
};
