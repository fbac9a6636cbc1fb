#pragma once

#include "audio/MoxDeviceEnvironment.h"
#include "model/MoxItemDevice.h"
#include "model/MoxLock.h"
#include "platform/mci/Mci.h"

#include <optional>
#include <string>
#include <vector>

/// Base of the shared players. Each probes its kind of media device once, when it is made,
/// and opens the device for one item at a time: Play opens and starts it with a completion
/// notice, Stop stops and closes it. Play and Stop of one player exclude each other (its
/// lock), so a Stop waits for a Play in progress and then stops what it started.
///
/// Besides the item that plays, a player holds up to kMaxCues cued items, each on a device
/// of its own, played after what another player (or this one) plays or has cued last, with
/// MCI_PLAY_AFTER; every play asks for the near-end notice too (MCI_PLAY_NEAREND), so that the
/// play list player knows when to cue. Promote makes the first cue the item that plays; Stop
/// closes them all.
///
/// Failures are recorded as text in LastError (a fixed message, mostly followed by the
/// command layer's error text) and nothing else: no message, no exception.
class MoxDevice : public MoxItemDevice {
public:
    ~MoxDevice() override = default;
    MoxDevice(const MoxDevice&) = delete;
    MoxDevice& operator=(const MoxDevice&) = delete;

    bool IsReady() const override { return m_ready; }
    /// The text of the latest failure; empty when none happened yet.
    std::string LastError();
    /// Why the latest failure happened, for a log or a message: the file, disc or track and
    /// the real reason ("/data/Wave Files/a.wav: The file was not found", "...: The sound
    /// file is damaged (...)", "The SoundFont /x.sf2 was not found"); empty when none
    /// happened yet. LastError keeps its fixed texts; this says what they cannot.
    std::string LastReason();

    /// Opens and closes the device once; 0 when it answered.
    virtual MCIERROR Probe() = 0;

    /// Two items shorter than an output period may both wait on their cues.
    static constexpr std::size_t kMaxCues = 2;

    bool Cue(const std::string& name, MoxItemDevice& after) override;
    void Uncue() override;
    void Promote() override;
    void Finish() override;
    /// The path of a file named in a play list, in a folder of the data folder ("" stands for
    /// the current folder), found without regard to case; nothing when the name is not a bare
    /// file name (a folder or ".." in it).
    static std::optional<std::string>
    DataFilePath(const std::string& dataFolder, const std::string& folder, const std::string& name);

protected:
    explicit MoxDevice(const MoxDeviceEnvironment& environment);

    /// Runs Probe and keeps its verdict. Called by the constructors of the concrete players
    /// (a base constructor cannot reach their Probe).
    void ProbeOnce();

    MCIERROR Send(MCIDEVICEID device, UINT message, DWORD flags, void* params);
    /// MCI_OPEN of a device type by its id (flags 0x3000); the id lands in open.wDeviceID.
    MCIERROR OpenType(DWORD deviceType, MCI_OPEN_PARMS& open);
    /// A device type id as the open block carries it.
    static const char* TypeId(DWORD deviceType);
    /// The command layer's text for an error, as read into a 128-character buffer.
    std::string ErrorText(MCIERROR error);
    /// Notes the reason of a failed command (lock held): the command layer's own account
    /// when it has one, else its error text after what failed (subject, may be "").
    void NoteReason(MCIERROR error, const std::string& subject);
    /// The path of a file in a folder of the data folder, found without regard to case, or
    /// nothing when the name is not a bare file name (a folder or ".." in it).
    bool ResolveDataFile(const std::string& folder, const std::string& name, std::string& path);
    DWORD_PTR NotifyCallback() const;

    /// The item players' part of a play (lock held): opens a device for the name into id and
    /// sets the play command's flags (beyond the notices) and positions. False when there is
    /// nothing to play or the open failed, with LastError and the reason noted and nothing
    /// left open. Players of other things do not play items.
    virtual bool OpenItem(const std::string&, MCIDEVICEID&, DWORD&, MCI_PLAY_PARMS&) {
        return false;
    }
    /// Where LastError starts when the play command of an item fails.
    virtual std::string PlayFailure() const { return {}; }

    /// The item players' Play: opens the item and plays it with its notices.
    bool PlayItem(const std::string& name);
    /// The item players' Stop: stops and closes the item's device, and the cues'.
    void StopItem();
    /// The file players' OpenItem: the named file of a data folder on a device of the type.
    /// openFailure starts LastError; the open's error text follows only when asked.
    bool OpenFile(const std::string& folder, DWORD deviceType, const std::string& name,
                  const std::string& openFailure, bool openFailureWithText, MCIDEVICEID& id);
    /// Plays the opened device m_deviceId with a notice (lock held). The playing flag is set
    /// first: a play that fails leaves the device open until Stop.
    bool StartOpened(DWORD flags, MCI_PLAY_PARMS& play, const std::string& playFailure);
    /// The common Stop (lock held): stops and closes the device opened for the item, if any.
    void StopOpened();
    /// Stops and closes the cues' devices (lock held).
    void UncueLocked();
    /// The device of the last cue, else of the item that plays, else 0: what a cue follows.
    MCIDEVICEID LastPlay();

    MoxDeviceEnvironment m_environment;
    std::string m_lastError;  // guarded by m_lock
    std::string m_lastReason; // guarded by m_lock
    std::string m_subject;    // guarded by m_lock: what the item's device plays
    MoxLock m_lock;
    bool m_playing = false;          // guarded by m_lock: opened for an item and not yet stopped
    bool m_sounding = false;         // guarded by m_lock: the item's play command succeeded
    MCIDEVICEID m_deviceId = 0;      // guarded by m_lock: the device opened for the item
    std::vector<MCIDEVICEID> m_cues; // guarded by m_lock: the cues' devices, first first

private:
    bool m_ready = false;
};
