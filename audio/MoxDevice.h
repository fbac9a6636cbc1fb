#pragma once

#include "audio/MoxDeviceEnvironment.h"
#include "model/MoxItemDevice.h"
#include "model/MoxLock.h"
#include "platform/mci/Mci.h"

#include <optional>
#include <string>

/// Base of the shared players. Each probes its kind of media device once, when it is made,
/// and opens the device for one item at a time: Play opens and starts it with a completion
/// notice, Stop stops and closes it. Play and Stop of one player exclude each other (its
/// lock), so a Stop waits for a Play in progress and then stops what it started.
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

    /// The file players' Play (lock held by the caller): opens the named file of a data folder
    /// on a device of the type and plays it whole with a notice. openFailure and playFailure
    /// start the LastError texts; the open's error text follows the first only when asked.
    bool PlayFile(const std::string& folder, DWORD deviceType, const std::string& name,
                  const std::string& openFailure, bool openFailureWithText,
                  const std::string& playFailure);
    /// Plays the opened device m_deviceId with a notice (lock held). The playing flag is set
    /// first: a play that fails leaves the device open until Stop.
    bool StartOpened(DWORD flags, MCI_PLAY_PARMS& play, const std::string& playFailure);
    /// The common Stop (lock held): stops and closes the device opened for the item, if any.
    void StopOpened();

    MoxDeviceEnvironment m_environment;
    std::string m_lastError;  // guarded by m_lock
    std::string m_lastReason; // guarded by m_lock
    std::string m_subject;    // guarded by m_lock: what the item's device plays
    MoxLock m_lock;
    bool m_playing = false;     // guarded by m_lock: opened for an item and not yet stopped
    bool m_sounding = false;    // guarded by m_lock: the item's play command succeeded
    MCIDEVICEID m_deviceId = 0; // guarded by m_lock: the device opened for the item

private:
    bool m_ready = false;
};
