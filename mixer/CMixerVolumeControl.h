#pragma once

#include "mixer/CMixerControlDetailsData.h"
#include "mixer/CMixerLineControl.h"

#include <vector>

/// A two-channel value control (a volume fader): what the rest of the system reads and sets.
///
/// Every getter re-reads the mixer first; a read that fails closes the device and the getter
/// yields 0. A control that was never bound (no line, no control) reads 0 and writes nothing,
/// as its control has no recognised units. Values are compared unsigned.
class CMixerVolumeControl : public CMixerLineControl {
public:
    CMixerVolumeControl();
    ~CMixerVolumeControl() override;

    /// Reads the mixer: the first value becomes the left value, the second the right value
    /// (a one-channel or uniform control leaves the right value as it was), the combined value
    /// the larger of the two (the right one when equal). On failure closes the device.
    virtual bool Refresh();
    /// Opens the other control's device identifier and copies its line and control.
    virtual bool CopyVolumeControl(const CMixerVolumeControl& other);
    virtual DWORD GetLeftValue();
    /// The control's lower bound, read as unsigned; no mixer call.
    virtual DWORD GetMinimum() const;
    /// The control's upper bound, read as unsigned; no mixer call.
    virtual DWORD GetMaximum() const;
    virtual DWORD GetRightValue();
    /// The larger of the two channels.
    virtual DWORD GetValue();
    /// Clamps v to the bounds, re-reads the mixer (so the right channel keeps its current
    /// value), writes v to the left channel, and re-reads on success.
    virtual bool SetLeftValue(DWORD v);
    /// As SetLeftValue, for the right channel.
    virtual bool SetRightValue(DWORD v);
    /// Clamps v to the bounds and writes it to both channels; re-reads on success.
    virtual bool SetValue(DWORD v);
    /// As SetValue, but the value takes effect when the next item cued on the line starts to
    /// sound, and reads as before until then. False when the mixer cannot wait.
    virtual bool SetValueOnCue(DWORD v);
    CMixerVolumeControl& operator=(const CMixerVolumeControl& other);

private:
    DWORD clamp(DWORD v) const;
    bool write(bool onCue = false);

    CMixerControlDetailsData m_left;
    CMixerControlDetailsData m_right;
    CMixerControlDetailsData m_combined;
    /// Left, then right: what a write sends. Points at the members above, owns nothing.
    std::vector<const CMixerControlDetailsData*> m_values;
};
