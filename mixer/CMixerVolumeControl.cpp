#include "mixer/CMixerVolumeControl.h"

CMixerVolumeControl::CMixerVolumeControl()
    : m_values{&m_left, &m_right} {}

CMixerVolumeControl::~CMixerVolumeControl() {
    m_values.clear();
}

bool CMixerVolumeControl::Refresh() {
    std::lock_guard lock(Mutex());
    CMixer::DetailsList values;
    if (!Mixer().GetControlDetails(Line(), Control(), values)) {
        Close();
        return false;
    }
    if (!values.empty()) {
        m_left = *values[0];
    }
    if (values.size() > 1) {
        m_right = *values[1];
    }
    values.clear();
    m_combined = m_left.GetValue() > m_right.GetValue() ? m_left : m_right;
    return true;
}

bool CMixerVolumeControl::CopyVolumeControl(const CMixerVolumeControl& other) {
    return Copy(other);
}

DWORD CMixerVolumeControl::GetLeftValue() {
    std::lock_guard lock(Mutex());
    return Refresh() ? m_left.GetValue() : 0;
}

DWORD CMixerVolumeControl::GetMinimum() const {
    std::lock_guard lock(Mutex());
    return Control().GetLowerBound();
}

DWORD CMixerVolumeControl::GetMaximum() const {
    std::lock_guard lock(Mutex());
    return Control().GetUpperBound();
}

DWORD CMixerVolumeControl::GetRightValue() {
    std::lock_guard lock(Mutex());
    return Refresh() ? m_right.GetValue() : 0;
}

DWORD CMixerVolumeControl::GetValue() {
    std::lock_guard lock(Mutex());
    return Refresh() ? m_combined.GetValue() : 0;
}

DWORD CMixerVolumeControl::clamp(DWORD v) const {
    const DWORD minimum = Control().GetLowerBound();
    const DWORD maximum = Control().GetUpperBound();
    if (v < minimum) {
        v = minimum;
    }
    if (v > maximum) {
        v = maximum;
    }
    return v;
}

bool CMixerVolumeControl::write(bool onCue) {
    const bool written = Mixer().SetControlDetails(Line(), Control(), m_values, onCue);
    if (written || onCue) {
        Refresh(); // a value kept for a cue is not in effect: read back what is
    }
    return written;
}

bool CMixerVolumeControl::SetLeftValue(DWORD v) {
    std::lock_guard lock(Mutex());
    v = clamp(v);
    Refresh();
    m_left.SetUnsigned({v});
    return write();
}

bool CMixerVolumeControl::SetRightValue(DWORD v) {
    std::lock_guard lock(Mutex());
    v = clamp(v);
    Refresh();
    m_right.SetUnsigned({v});
    return write();
}

bool CMixerVolumeControl::SetValue(DWORD v) {
    std::lock_guard lock(Mutex());
    v = clamp(v);
    m_left.SetUnsigned({v});
    m_right.SetUnsigned({v});
    return write();
}

bool CMixerVolumeControl::SetValueOnCue(DWORD v) {
    std::lock_guard lock(Mutex());
    v = clamp(v);
    m_left.SetUnsigned({v});
    m_right.SetUnsigned({v});
    return write(true);
}

CMixerVolumeControl& CMixerVolumeControl::operator=(const CMixerVolumeControl& other) {
    CopyVolumeControl(other);
    return *this;
}
