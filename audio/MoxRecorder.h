#pragma once

#include "audio/MoxDevice.h"

#include <string>

/// The announcement recorder: records from the sound input into the working file of the
/// data folder's "Wave Files" folder through the waveform device's new, unnamed recording.
///
/// Record opens a recording in the format of the recording quality (read from the reference
/// given at construction, when Record runs) and starts it with a completion notice to the
/// notify window; Stop stops it, saves it as the working file and closes the device. The
/// playing flag of MoxDevice means "the recording device is open" here.
///
/// Every Record records into the working name "~quilon.wa~" again, whatever SetFileName said
/// since: the recorder dialog renames the working file when the user keeps a recording, and
/// a later recording must not overwrite that announcement.
class MoxRecorder : public MoxDevice {
public:
    /// Stored as the working file's name; the dialog looks for it under this name.
    static constexpr const char* kWorkingFileName = "~quilon.wa~";
    /// The longest path (and file name) the recorder works with, as the design's buffers.
    static constexpr std::size_t kMaxPath = 255;

    /// quality: 0 average (8-bit mono 22050 Hz), 1 good (8-bit mono 44100 Hz), 2 best (16-bit
    /// mono 44100 Hz); any other value counts as 1. The program passes g_nRecordingQuality.
    MoxRecorder(const MoxDeviceEnvironment& environment, const DWORD& quality);
    /// Saves a recording still in progress.
    ~MoxRecorder() override;

    /// Nothing to play: the recorder only records.
    bool Play(const std::string& name) override;
    /// Stops recording, saves the recording as the working file (its result is ignored) and
    /// closes the device. Does nothing when the device is not open.
    void Stop() override;
    /// Always 0 without asking the platform: the recorder is always ready.
    MCIERROR Probe() override;

    /// Applies the quality, then opens a new recording, sets its format and records.
    /// Does nothing when the device is open already; failures leave their text in LastError.
    void Record();
    /// The working file's name inside the wave folder.
    std::string GetFileName();
    /// Sets the file name (a bare name of at most 255 characters); false, leaving the name as
    /// it was, for a longer name or one with a folder in it.
    bool SetFileName(const std::string& name);
    /// The path of the file name in the data folder's wave folder (found without regard to
    /// case), or "" when it would be longer than 255 characters.
    std::string GetFilePath();
    /// True from a successful Record until Stop.
    bool IsRecording();
    /// The command layer's error that made the latest Record fail (MCIERR_NO_INPUT_DEVICE:
    /// there is no microphone); 0 after a Record that succeeded or failed for another reason.
    MCIERROR LastRecordError();

private:
    void ApplyQuality(DWORD quality);
    void CloseDevice();
    std::string BuildPath(bool createFolder);

    const DWORD& m_quality;
    MCIDEVICEID m_deviceId = 0;
    bool m_recording = false;
    MCIERROR m_recordError = 0;
    WORD m_channels = 1;
    WORD m_bitsPerSample = 8;
    DWORD m_samplesPerSecond = 44100;
    std::string m_fileName = kWorkingFileName;
    MCI_OPEN_PARMS m_open{};
    MCI_WAVE_SET_PARMS m_set{};
    MCI_RECORD_PARMS m_record{};
    MCI_SAVE_PARMS m_save{};
};
