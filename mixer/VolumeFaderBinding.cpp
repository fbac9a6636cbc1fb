#include "mixer/VolumeFaderBinding.h"

#include "mixer/CMixerVolumeControl.h"

void VolumeFaderBinding::ApplyVolume(std::uint32_t volume) {
    m_control.SetValue(static_cast<DWORD>(volume * m_step));
}

DWORD VolumeFaderBinding::ReadVolume() const {
    const DWORD step = m_step;
    return step == 0 ? 0 : m_control.GetValue() / step;
}

void VolumeFaderBinding::ApplyVolumeOnCue(std::uint32_t volume) {
    const auto value = static_cast<DWORD>(volume * m_step);
    if (!m_control.SetValueOnCue(value)) {
        m_control.SetValue(value);
    }
}
