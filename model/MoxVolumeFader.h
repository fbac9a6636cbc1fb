#pragma once

#include <cstdint>

/// The volume fader of one kind of item: it turns an item volume (0..100) into a fader
/// setting, using the kind's step.
class MoxVolumeFader {
public:
    virtual ~MoxVolumeFader() = default;
    virtual void ApplyVolume(std::uint32_t volume) = 0;
    /// The volume of an item cued to follow the one playing: the fader moves when that item
    /// starts to sound, so the item still playing keeps its level. By default at once.
    virtual void ApplyVolumeOnCue(std::uint32_t volume) { ApplyVolume(volume); }
};
