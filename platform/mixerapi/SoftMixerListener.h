#pragma once

#include <cstdint>

/// The sound engine's buses whose level the software mixer sets, in the engine's order.
enum class MixerBus : int { synthesizer = 0, waveOut = 1, compactDisc = 2, microphone = 3 };
inline constexpr int mixerBusCount = 4;

/// The effective level of a bus, per channel: 0 silent .. 65535 full (linear fader positions;
/// the engine maps them through its own curve).
struct MixerBusFader {
    std::uint16_t left = 0;
    std::uint16_t right = 0;
    bool operator==(const MixerBusFader&) const = default;
};

/// Told of every change of a bus's effective level (see SoftMixer for how it is made up). The
/// program forwards it to the engine's SetBusFader.
///
/// Called on the thread that moved the fader, with the mixer's lock held: reports arrive in
/// the order of the changes and never overlap. Be quick, and do not call the mixer from here.
class SoftMixerListener {
public:
    virtual ~SoftMixerListener() = default;
    virtual void OnFaderChanged(MixerBus bus, std::uint16_t left, std::uint16_t right) = 0;
};
