#include "mixer/MixerGlobals.h"

CMixer g_mixer;
MixerFaders g_mixerFaders;

// References to parts of an object of static storage are constant-initialised: they are bound
// before any dynamic initialisation, wherever the code that uses them lives.
CMixerVolumeControl& g_synthVolume = g_mixerFaders.synthVolume;
CMixerVolumeControl& g_waveVolume = g_mixerFaders.waveVolume;
CMixerVolumeControl& g_cdVolume = g_mixerFaders.cdVolume;
CMixerVolumeControl& g_micVolume = g_mixerFaders.micVolume;
std::vector<std::unique_ptr<CMixerControl>>& g_playbackVolumeControls =
    g_mixerFaders.playbackVolumeControls;
std::vector<std::unique_ptr<CMixerControl>>& g_recordVolumeControls =
    g_mixerFaders.recordVolumeControls;
DWORD& g_synthStep = g_mixerFaders.synthStep;
DWORD& g_waveStep = g_mixerFaders.waveStep;
DWORD& g_cdStep = g_mixerFaders.cdStep;

int FindMixerControls() {
    return g_mixerFaders.FindMixerControls(g_mixer);
}

bool AttachVolumeControl(bool recording, const CMixerLine& line, CMixerVolumeControl& target) {
    return g_mixerFaders.AttachVolumeControl(g_mixer, recording, line, target);
}

void CalibrateVolumeSteps() {
    g_mixerFaders.CalibrateVolumeSteps();
}

void ReleaseVolumeControls() {
    g_mixerFaders.ReleaseVolumeControls();
}
