#pragma once

#include "platform/mci/MciDevice.h"

/// A waveaudio device opened with an empty element: a new, unnamed recording (an engine
/// capture), 8-bit mono 11025 Hz until MCI_SET says otherwise. It records, saves and reports
/// its length; it does not play.
class MciRecordingDevice final : public MciDevice {
public:
    /// What a new recording records until MCI_SET says otherwise: the waveform default.
    static constexpr PcmFormat kDefaultFormat{11025, 1, 8};

    MciRecordingDevice(SoundEngine& engine, MCIDEVICEID id, SourceId capture);

    MCIERROR PreparePlay(DWORD_PTR flags, const MCI_PLAY_PARMS* parms, const PlayState& state,
                         PlayStart& start) override;
    MCIERROR Status(DWORD_PTR flags, MCI_STATUS_PARMS& parms, const PlayState& state) override;
    MCIERROR CanRecord() const override { return 0; }
    MCIERROR SetWaveFormat(DWORD_PTR flags, const MCI_WAVE_SET_PARMS& parms) override;
    MCIERROR StartRecording(EndHandler onEnd, std::uint64_t& serial) override;
    MCIERROR Save(const char* path) override;
    void Halt() override;
    void Release() override;

private:
    SourceId m_capture;
};
