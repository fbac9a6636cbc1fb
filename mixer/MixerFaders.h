#pragma once

#include "mixer/CMixerControl.h"
#include "mixer/CMixerVolumeControl.h"
#include "mixer/VolumeFaderBinding.h"

#include <memory>
#include <string>
#include <vector>

class CMixer;
class CMixerLine;

/// The four volume faders the program drives (synthesizer, wave out and compact disc under the
/// speakers, the microphone under wave in), found once at start-up on mixer device 0, and the
/// steps that turn an item volume (0..100) into a fader setting.
///
/// The process-wide instance is g_mixerFaders (MixerGlobals.h); tests build their own.
/// FindMixerControls and CalibrateVolumeSteps run on the interface thread before any other
/// thread exists; afterwards the steps are only read, and the controls are thread-safe.
class MixerFaders {
public:
    /// The top of the volume scale.
    static constexpr DWORD volumeScale = 100;
    /// The step of every kind when no fader has a usable range: 655 × 100 = 65500.
    static constexpr DWORD defaultStep = 655;

    // Shown with the stop icon when a kind's step cannot be worked out.
    static constexpr const char* synthesizerMessage =
        "Quillon is unable to calculate a volume setting for this PC's onboard synthesizer.\n"
        "A default value will be substituted instead.\n";
    static constexpr const char* waveMessage =
        "Quillon is unable to calculate a volume setting for this PC's record/playback "
        "facilities.\nA default value will be substituted instead.\n";
    static constexpr const char* cdMessage =
        "Quillon is unable to calculate a volume setting for this PC's CD facilities.\n"
        "A default value will be substituted instead.\n";

    MixerFaders() = default;
    MixerFaders(const MixerFaders&) = delete;
    MixerFaders& operator=(const MixerFaders&) = delete;

    /// Opens `mixer` on device 0 and binds the volume fader of every synthesizer, wave-out and
    /// compact-disc source of a speakers destination and of every microphone source of a
    /// wave-in destination (the last one found wins). Returns −1 when the device cannot be
    /// opened, −2 when its capabilities cannot be read, 0 otherwise.
    int FindMixerControls(CMixer& mixer);
    /// Binds the line's first volume fader (found through `mixer`) to target, which opens
    /// device 0 for itself, and keeps a copy of the control in the playback or record list.
    /// True when one was bound.
    bool AttachVolumeControl(CMixer& mixer, bool recording, const CMixerLine& line,
                             CMixerVolumeControl& target);
    /// Works out the three steps from the bound faders' ranges; shows a message for each kind
    /// whose range is below 100 units, which then takes the first step that could be worked
    /// out (synthesizer, wave, CD), or 655 for all three when none could (a step of 1 counts
    /// as none). No step is 0 afterwards.
    void CalibrateVolumeSteps();
    /// What the Launch Pad does when it closes: closes the CD, wave, synthesizer and
    /// microphone controls' devices in that order, then deletes the kept control copies,
    /// playback first.
    void ReleaseVolumeControls();

    CMixerVolumeControl synthVolume;
    CMixerVolumeControl waveVolume;
    CMixerVolumeControl cdVolume;
    CMixerVolumeControl micVolume;
    /// Copies of the playback faders bound (owned).
    std::vector<std::unique_ptr<CMixerControl>> playbackVolumeControls;
    /// Copies of the recording faders bound (owned).
    std::vector<std::unique_ptr<CMixerControl>> recordVolumeControls;
    /// Mixer units per step of the volume scale.
    DWORD synthStep = 0;
    DWORD waveStep = 0;
    DWORD cdStep = 0;

    // The item volume faders of the four kinds; the microphone uses the wave step.
    VolumeFaderBinding synthFader{synthVolume, synthStep};
    VolumeFaderBinding waveFader{waveVolume, waveStep};
    VolumeFaderBinding cdFader{cdVolume, cdStep};
    VolumeFaderBinding micFader{micVolume, waveStep};
};
