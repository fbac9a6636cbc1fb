#pragma once

#include "platform/engine/EngineTypes.h"

#include <cstdint>

/// Told of every change of a bus's effective level (a BusFader: linear fader positions, which
/// the engine maps through its own curve; see SoftMixer for how it is made up). The program
/// forwards it to the engine's SetBusFader.
///
/// Called on the thread that moved the fader, with the mixer's lock held: reports arrive in
/// the order of the changes and never overlap. Be quick, and do not call the mixer from here.
class SoftMixerListener {
public:
    virtual ~SoftMixerListener() = default;
    virtual void OnFaderChanged(Bus bus, std::uint16_t left, std::uint16_t right) = 0;
    /// A source fader was set to take effect when the next item cued on its bus starts: the
    /// level the bus will then have. The program forwards it to the engine's SetBusFaderAtCue,
    /// and calls SoftMixer::CommitStaged when the engine reports it in effect.
    virtual void OnFaderStaged(Bus, std::uint16_t, std::uint16_t) {}
};
