#pragma once

// The process-wide mixer objects. They are built before start-up runs and live until the
// process ends. Their constructors do nothing but set fields (no device is touched until
// FindMixerControls runs), so their place in the order of construction does not matter; the
// names below are references into g_mixerFaders, bound before any code runs.

#include "mixer/CMixer.h"
#include "mixer/MixerFaders.h"

/// The device used for the search; opened on mixer device 0 and left open until exit.
extern CMixer g_mixer;
/// The faders, their control copies and steps; the names below refer into it.
extern MixerFaders g_mixerFaders;

extern CMixerVolumeControl& g_synthVolume;
extern CMixerVolumeControl& g_waveVolume;
extern CMixerVolumeControl& g_cdVolume;
extern CMixerVolumeControl& g_micVolume;
extern std::vector<std::unique_ptr<CMixerControl>>& g_playbackVolumeControls;
extern std::vector<std::unique_ptr<CMixerControl>>& g_recordVolumeControls;
extern DWORD& g_synthStep;
extern DWORD& g_waveStep;
extern DWORD& g_cdStep;
/// The top of the volume scale.
inline constexpr DWORD g_volumeScale = MixerFaders::volumeScale;

/// Start-up: binds the faders of mixer device 0 through g_mixer (see MixerFaders).
int FindMixerControls();
bool AttachVolumeControl(bool recording, const CMixerLine& line, CMixerVolumeControl& target);
/// Start-up, right after FindMixerControls: fixes the three steps, with messages M1..M3.
void CalibrateVolumeSteps();
/// When the Launch Pad closes: closes the four faders' devices and deletes the copies.
void ReleaseVolumeControls();
