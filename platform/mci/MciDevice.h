#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/mci/Mci.h"

#include <mutex>
#include <string>

class SoundEngine;

/// One open device of the command layer. MciLayer runs what every command shares (finding
/// the device, one command at a time, the parameter block, the success notice) and the
/// notices of plays and recordings; what a command does to the device depends on its kind:
/// MciFileDevice (a wave or MIDI file, or a probe), MciCdDevice, MciRecordingDevice.
///
/// The command parts below run with the device's command lock held and without the layer's
/// lock (which is never held across a call into the engine); they keep no notice state of
/// their own.
class MciDevice {
public:
    enum class Kind { Wave, Sequencer, CdAudio };

    /// The layer's view of the current play or recording, taken under its lock.
    struct PlayState {
        bool playing = false; ///< a play or recording runs as far as the notices know
        bool failed = false;  ///< the last one ended because reading or writing failed
    };

    /// What MCI_PLAY is to play: the open source (moved as asked), or a new one that the
    /// layer puts in place of the open one.
    struct PlayStart {
        SourceId newSource = 0;
    };

    /// subject names what the device plays in failure texts: a file, a disc, or "" for none.
    MciDevice(SoundEngine& engine, Kind kind, MCIDEVICEID id, std::string subject);
    virtual ~MciDevice() = default;
    MciDevice(const MciDevice&) = delete;
    MciDevice& operator=(const MciDevice&) = delete;

    Kind GetKind() const { return m_kind; }
    MCIDEVICEID Id() const { return m_id; }
    /// The engine source that plays, or 0.
    SourceId Source() const { return m_source; }
    /// What the device plays, for failure texts: a file, a disc, or "".
    const std::string& Subject() const { return m_subject; }

    /// MCI_PLAY's own part: checks the request and chooses the source.
    virtual MCIERROR PreparePlay(DWORD_PTR flags, const MCI_PLAY_PARMS* parms,
                                 const PlayState& state, PlayStart& start) = 0;
    /// Puts the source chosen by PreparePlay in place; returns the one it replaced (to close).
    SourceId UseSource(SourceId source);
    virtual bool AcceptsTimeFormat(DWORD format) const;
    void SetTimeFormat(DWORD format) { m_timeFormat = format; }
    virtual MCIERROR Status(DWORD_PTR flags, MCI_STATUS_PARMS& parms, const PlayState& state) = 0;

    // Recording. Other devices answer CanRecord()'s error: a waveaudio device that cannot
    // (MCIERR_NONAPPLICABLE_FUNCTION), another kind that never does (unsupported).
    virtual MCIERROR CanRecord() const;
    virtual MCIERROR SetWaveFormat(DWORD_PTR flags, const MCI_WAVE_SET_PARMS& parms);
    /// Starts (or goes on) recording; onEnd as for SoundEngine::StartCapture.
    virtual MCIERROR StartRecording(EndHandler onEnd, std::uint64_t& serial);
    virtual MCIERROR Save(const char* path);

    /// MCI_STOP's engine part: stops the sound (returns at once).
    virtual void Halt();
    /// MCI_CLOSE's engine part: lets go of every engine source and capture.
    virtual void Release();

    /// The command lock: one command at a time.
    std::mutex command;

    /// The notices of the current play or recording: MciLayer's, under its lock.
    struct Notice {
        bool playing = false;
        bool failed = false;
        std::uint64_t serial = 0;
        SourceId source = 0;  ///< the engine source of the current play (what a cue follows)
        bool pending = false; ///< a notice was asked for and not yet posted
        DWORD_PTR window = 0;
        DWORD_PTR nearEndWindow = 0; ///< where MCI_NOTIFY_NEAREND goes, 0 for none
        // What the engine reported of a play or recording before the command that started it
        // could note its serial (it ended, or came near its end, at once).
        std::uint64_t earlyEndSerial = 0;
        EndReason earlyEndReason = EndReason::Finished;
        std::uint64_t earlyNearEndSerial = 0;
    } notice;

protected:
    /// MCI_STATUS's mode of a device that plays a source.
    DWORD_PTR PlayMode(const PlayState& state) const;
    /// The code for an engine failure, noted as the thread's last failure with the subject.
    MCIERROR Report(const EngineStatus& status) const;

    SoundEngine& m_engine;
    const Kind m_kind;
    const MCIDEVICEID m_id;
    const std::string m_subject;
    // Under the command lock:
    SourceId m_source = 0;
    DWORD m_timeFormat = MCI_FORMAT_MILLISECONDS;
};

/// The command layer's code for an engine failure.
MCIERROR ToMciError(const EngineStatus& status);
/// ToMciError, and a failure is noted as the calling thread's last failure (MciLayer's
/// LastFailure): its text, after what it concerns when subject is not "" ("file: text").
MCIERROR ReportFailure(const EngineStatus& status, const std::string& subject);
/// The calling thread's last failure; MciLayer clears it as each command begins.
std::string& ThreadLastFailure();
/// Milliseconds of frames at a rate (what the layer reports for wave and MIDI positions).
DWORD_PTR FramesToMs(std::uint64_t frames, int rate);
