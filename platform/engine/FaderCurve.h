#pragma once

// The perceptual fader curve: fader values 0..65535 as the mixer API sets them, mapped to linear
// amplitude gains.
//
// Loudness as heard roughly halves for every 10 dB of attenuation, so a fader that should sound
// half as loud at half travel needs -10 dB there, -20 dB at a quarter, and so on:
//     gain(dB) = 10 * log2(fader / 65535)      i.e.  gain = (fader / 65535) ^ 1.661
// That curve runs smoothly into silence: fader 1 is about -160 dB and 0 is exactly silent.
// 65535 is unity gain (the default of every bus).

#include <cstdint>

inline constexpr std::uint16_t kFaderMax = 65535;

/// Linear gain for a fader value, in [0, 1]; 0 -> 0, 65535 -> 1.
float FaderToGain(std::uint16_t fader);

/// The same curve in decibels; -infinity for 0.
double FaderToDecibels(std::uint16_t fader);

/// The smallest fader value whose gain is at least the given linear gain (inverse of the curve).
std::uint16_t GainToFader(float gain);
