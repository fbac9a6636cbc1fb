#include "mixer/VolumeFaderBinding.h"

#include "mixer/CMixerVolumeControl.h"

#include <algorithm>

namespace {

// A damaged list may hold any 32-bit volume: multiplied in 32 bits, 6,557,202 × 655 wraps to
// near silence. Past the fader's maximum the fader is simply full.
DWORD faderValue(std::uint32_t volume, DWORD step, DWORD maximum) {
    return static_cast<DWORD>(
        std::min<std::uint64_t>(std::uint64_t{volume} * step, std::uint64_t{maximum}));
}

} // namespace

void VolumeFaderBinding::ApplyVolume(std::uint32_t volume) {
    m_control.SetValue(faderValue(volume, m_step, m_control.GetMaximum()));
}

DWORD VolumeFaderBinding::ReadVolume() const {
    const DWORD step = m_step;
    return step == 0 ? 0 : m_control.GetValue() / step;
}

void VolumeFaderBinding::ApplyVolumeOnCue(std::uint32_t volume) {
    const DWORD value = faderValue(volume, m_step, m_control.GetMaximum());
    if (!m_control.SetValueOnCue(value)) {
        m_control.SetValue(value);
    }
}
