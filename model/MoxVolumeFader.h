#pragma once

#include <cstdint>

/// The volume fader of one kind of item: it turns an item volume (0..100) into a fader
/// setting, using the kind's step.
class MoxVolumeFader {
public:
    virtual ~MoxVolumeFader() = default;
    virtual void ApplyVolume(std::uint32_t volume) = 0;
};
