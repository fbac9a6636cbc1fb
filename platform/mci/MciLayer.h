#pragma once

#include "platform/engine/EngineTypes.h"
#include "platform/mci/MciPort.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class MciDevice;
class SoundEngine;

/// The media control commands over the sound engine: waveaudio (522) plays sound files,
/// sequencer (523) MIDI files through the SoundFont, cdaudio (516) tracks of the CD.
///
/// Commands: MCI_OPEN (by type id or type name, with or without an element), MCI_CLOSE,
/// MCI_PLAY (MCI_FROM/MCI_TO; for CD in TMSF, MSF or milliseconds, a "to" track past the
/// last meaning the end of the disc; MCI_PLAY_AFTER and MCI_PLAY_NEAREND to chain one item
/// after another without a gap, see Mci.h), MCI_STOP, MCI_SET (time format; the wave format of a
/// recording), MCI_STATUS (track count, length, position, mode), MCI_RECORD, MCI_SAVE.
/// MCI_WAIT is accepted everywhere; MCI_PLAY and MCI_RECORD with MCI_WAIT return when the
/// play or recording ends.
///
/// Recording: waveaudio opened with MCI_OPEN_ELEMENT and an empty element is a new, unnamed
/// recording (8-bit mono 11025 Hz until MCI_SET says otherwise). MCI_SET with the
/// MCI_WAVE_SET_* flags sets its PCM format: format tag 1, 1 or 2 channels, 8 or 16 bits,
/// 8000 to 192000 samples a second; block alignment and bytes per second, when given, must
/// agree with them (else MCIERR_WAVE_NOT_PCM, MCIERR_WAVE_BAD_FORMAT or
/// MCIERR_WAVE_INCONSISTENT), and once the recording holds sound the format is fixed
/// (MCIERR_FORMAT_FIXED). MCI_RECORD (no MCI_FROM/MCI_TO) records from the default input
/// until MCI_STOP; another MCI_RECORD after a stop appends. MCI_SAVE with MCI_SAVE_FILE
/// writes everything recorded as a RIFF WAVE PCM file of the format (not while recording:
/// MCIERR_RECORDING_RUNS); the file at that path is replaced only by a complete new one, a
/// failed save leaves it as it was and answers MCIERR_FILE_WRITE. Record and save on other
/// waveaudio devices answer MCIERR_NONAPPLICABLE_FUNCTION. The sound waits on disk, not in
/// memory (SoundEngine's capture).
///
/// Opening without an element tests the kind: waveaudio opens the output device (and succeeds
/// without one: the engine keeps time until one appears), sequencer loads the SoundFont,
/// cdaudio reads the disc's table of contents. Opening with an element
/// opens the file and decodes its first block, so a missing, unreadable or damaged file
/// fails at open.
///
/// Notices (MM_MCINOTIFY to the NotifyWindow in dwCallback, lParam = device id), exactly one
/// per command sent with MCI_NOTIFY: a play gets SUCCESSFUL at its end, FAILURE when reading
/// failed while it played, ABORTED when stopped or closed first, SUPERSEDED when another
/// command with MCI_NOTIFY replaced it; other commands get SUCCESSFUL when they are done.
/// A play cued with MCI_PLAY_AFTER that never starts (what it followed was stopped or closed)
/// gets ABORTED. MCI_NOTIFY_NEAREND, asked for with MCI_PLAY_NEAREND, comes besides these.
/// A recording likewise: SUCCESSFUL when it ended by itself (the input device vanished, or
/// the recording is as long as a wave file can hold; what was recorded can be saved), FAILURE
/// when its sound could not be written to disk, ABORTED when stopped or closed.
/// Notices are posted from the command's thread or the engine's notice thread, never from the
/// audio callback. Once MCI_STOP or MCI_CLOSE has returned, no SUCCESSFUL notice of that
/// device follows.
///
/// Thread-safe: commands to different devices run in parallel, commands to one device one
/// after the other; the layer's own lock is never held across a call into the engine, so a
/// command that waits on a slow disc holds up no other device. Device ids count up across the whole
/// process and are never reused.
class MciLayer final : public MciPort {
public:
    static constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

    struct Config {
        /// The General MIDI SoundFont; "" = none (the sequencer is then not ready).
        std::string soundFont;
        /// A CD drive path or a CUE file of a CUE/BIN image; "" = libcdio's default drive.
        std::string cdDevice;

        /// QUILLON_SOUNDFONT when set, else kDefaultSoundFont when it exists;
        /// QUILLON_CD_DEVICE when set, else "".
        static Config FromEnvironment();
    };

    MciLayer(SoundEngine& engine, Config config);
    /// Closes every device still open, without notices. No command may be running.
    ~MciLayer() override;
    MciLayer(const MciLayer&) = delete;
    MciLayer& operator=(const MciLayer&) = delete;

    MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                         DWORD_PTR param) override;
    BOOL GetErrorString(MCIERROR error, char* text, UINT length) override;
    bool IsDeviceOpen(MCIDEVICEID device) override;
    std::string LastFailure() override;

    const Config& GetConfig() const { return m_config; }

private:
    std::shared_ptr<MciDevice> Find(MCIDEVICEID id);
    MCIERROR Open(DWORD_PTR flags, DWORD_PTR param);
    /// The device's own part of a command, after the shared preamble; command holds its lock.
    MCIERROR Run(MciDevice& device, std::unique_lock<std::mutex>& command, UINT message,
                 DWORD_PTR flags, DWORD_PTR param);
    /// MCI_STOP or MCI_CLOSE to MCI_ALL_DEVICE_ID: to each device open now, one notice for all.
    MCIERROR ToEveryDevice(UINT message, DWORD_PTR flags, DWORD_PTR param);
    MCIERROR Close(MciDevice& device);
    MCIERROR Stop(MciDevice& device);
    MCIERROR Play(MciDevice& device, std::unique_lock<std::mutex>& command, DWORD_PTR flags,
                  const MCI_PLAY_PARMS* parms);
    MCIERROR Set(MciDevice& device, DWORD_PTR flags, const MCI_SET_PARMS& parms);
    MCIERROR Status(MciDevice& device, DWORD_PTR flags, MCI_STATUS_PARMS& parms);
    MCIERROR Record(MciDevice& device, std::unique_lock<std::mutex>& command, DWORD_PTR flags,
                    const MCI_RECORD_PARMS* parms);
    MCIERROR Save(MciDevice& device, DWORD_PTR flags, const MCI_SAVE_PARMS* parms);

    // Notices of plays and recordings; m_mutex held unless said otherwise.
    /// Notice bookkeeping of a play or recording that started.
    void RecordPlay(MciDevice& device, DWORD_PTR flags, DWORD_PTR callback, bool restarted,
                    std::uint64_t serial);
    /// For MCI_WAIT, without m_mutex: returns once the play or recording `serial` has ended,
    /// been replaced or its device closed; true when it ended because reading or writing
    /// failed.
    bool WaitUntilEnded(const MciDevice& device, std::uint64_t serial);
    /// The engine's end handler for a play or recording of the device (takes m_mutex).
    EndHandler EndHandlerFor(MCIDEVICEID id);
    /// The engine's near-end handler for a play asked with MCI_PLAY_NEAREND (takes m_mutex).
    NearEndHandler NearEndHandlerFor(MCIDEVICEID id);
    /// A play or recording ended by itself.
    void Ended(MciDevice& device, EndReason reason);
    /// The device stopped or closed: a pending notice is aborted.
    void Aborted(MciDevice& device);
    /// Posts a notice to the callback window of a parameter block (none when it is 0).
    static void Post(DWORD_PTR callback, WPARAM code, MCIDEVICEID id);

    SoundEngine& m_engine;
    Config m_config;
    std::mutex m_mutex; // the device map and every device's notice state
    std::condition_variable m_playEnded;
    std::map<MCIDEVICEID, std::shared_ptr<MciDevice>> m_devices;
};
