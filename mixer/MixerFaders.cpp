#include "mixer/MixerFaders.h"

#include "mixer/CMixer.h"
#include "mixer/CMixerCapabilities.h"
#include "mixer/CMixerLine.h"
#include "platform/msgbox/AfxMessageBox.h"

int MixerFaders::FindMixerControls(CMixer& mixer) {
    if (!mixer.Open(0, 0, 0, 0)) {
        return -1;
    }
    CMixerCapabilities caps;
    if (!mixer.GetDevCaps(caps)) {
        return -2;
    }
    // A failed destination query leaves the previous destination's data in place; a failed
    // source query leaves a reset line, whose type matches nothing.
    CMixerLine destination;
    for (DWORD d = 0; d < caps.GetDestinationCount(); ++d) {
        mixer.GetLineInfoByDestination(d, destination);
        const DWORD destinationType = destination.GetComponentType();
        if (destinationType != MIXERLINE_COMPONENTTYPE_DST_SPEAKERS &&
            destinationType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN) {
            continue;
        }
        for (DWORD s = 0; s < destination.GetConnectionCount(); ++s) {
            CMixerLine source;
            source.Reset();
            mixer.GetLineInfoBySource(d, s, source);
            const DWORD sourceType = source.GetComponentType();
            if (destinationType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS) {
                if (sourceType == MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER) {
                    AttachVolumeControl(mixer, false, source, synthVolume);
                } else if (sourceType == MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC) {
                    AttachVolumeControl(mixer, false, source, cdVolume);
                } else if (sourceType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT) {
                    AttachVolumeControl(mixer, false, source, waveVolume);
                }
            } else if (sourceType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) {
                AttachVolumeControl(mixer, true, source, micVolume);
            }
        }
    }
    return 0;
}

bool MixerFaders::AttachVolumeControl(CMixer& mixer, bool recording, const CMixerLine& line,
                                      CMixerVolumeControl& target) {
    CMixer::Controls controls;
    mixer.GetLineControls(line, controls);
    for (const std::unique_ptr<CMixerControl>& control : controls) {
        if (control->GetControlType() != MIXERCONTROL_CONTROLTYPE_VOLUME) {
            continue;
        }
        auto copy = std::make_unique<CMixerControl>();
        *copy = *control;
        target.SetLine(line);
        target.SetControl(*copy);
        (recording ? recordVolumeControls : playbackVolumeControls).push_back(std::move(copy));
        target.Open(0);
        return true;
    }
    return false;
}

void MixerFaders::CalibrateVolumeSteps() {
    // 1 means no fallback yet: a step of 1 is no better than none.
    DWORD fallback = 1;
    synthStep = (synthVolume.GetMaximum() - synthVolume.GetMinimum()) / volumeScale;
    if (synthStep == 0) {
        AfxMessageBox(synthesizerMessage, MB_ICONSTOP | MB_OK);
    } else {
        fallback = synthStep;
    }
    waveStep = (waveVolume.GetMaximum() - waveVolume.GetMinimum()) / volumeScale;
    if (waveStep == 0) {
        AfxMessageBox(waveMessage, MB_ICONSTOP | MB_OK);
    } else if (fallback == 1) {
        fallback = waveStep;
    }
    cdStep = (cdVolume.GetMaximum() - cdVolume.GetMinimum()) / volumeScale;
    if (cdStep == 0) {
        AfxMessageBox(cdMessage, MB_ICONSTOP | MB_OK);
    } else if (fallback == 1) {
        fallback = cdStep;
    }
    if (fallback == 1) {
        synthStep = waveStep = cdStep = defaultStep;
        return;
    }
    for (DWORD* step : {&synthStep, &waveStep, &cdStep}) {
        if (*step == 0) {
            *step = fallback;
        }
    }
}

void MixerFaders::ReleaseVolumeControls() {
    cdVolume.Close();
    waveVolume.Close();
    synthVolume.Close();
    micVolume.Close();
    playbackVolumeControls.clear();
    recordVolumeControls.clear();
}
