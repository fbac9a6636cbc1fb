#pragma once

#include "model/MoxVolumeFader.h"
#include "platform/wintypes/WinTypes.h"

class CMixerVolumeControl;

/// The volume fader of one kind of item, with the kind's step: an item volume v (0..100) sets
/// the fader to v × step (at most the fader's maximum; the control clamps it to its bounds), and a
/// fader setting s reads back as the volume s / step, remainder dropped. The lower bound of the
/// fader takes no part: volume 0 writes 0, which the clamp raises to the lower bound.
///
/// The step is read at each call, so a binding made before the calibration uses its result.
class VolumeFaderBinding final : public MoxVolumeFader {
public:
    VolumeFaderBinding(CMixerVolumeControl& control, const DWORD& step)
        : m_control(control)
        , m_step(step) {}

    /// Sets the fader for the volume; a failed write is ignored.
    void ApplyVolume(std::uint32_t volume) override;
    /// Sets the fader for the volume from the moment the next item cued on its line is heard;
    /// at once when the mixer cannot wait.
    void ApplyVolumeOnCue(std::uint32_t volume) override;
    /// The volume the fader is at: the larger channel divided by the step (0 when the read
    /// fails, or before calibration while the step is 0).
    DWORD ReadVolume() const;

    CMixerVolumeControl& Control() const { return m_control; }

private:
    CMixerVolumeControl& m_control;
    const DWORD& m_step;
};
