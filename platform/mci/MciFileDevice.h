#pragma once

#include "platform/mci/MciDevice.h"

/// A waveaudio or sequencer device: a wave or MIDI file opened as an engine source, or, opened
/// without a file, a probe that neither plays nor records. Plays the whole file, or from a
/// position (milliseconds) to the end.
class MciFileDevice final : public MciDevice {
public:
    /// source 0: a probe; path: the file's.
    MciFileDevice(SoundEngine& engine, Kind kind, MCIDEVICEID id, SourceId source,
                  std::string path);

    MCIERROR PreparePlay(DWORD_PTR flags, const MCI_PLAY_PARMS* parms, const PlayState& state,
                         PlayStart& start) override;
    MCIERROR Status(DWORD_PTR flags, MCI_STATUS_PARMS& parms, const PlayState& state) override;
};
