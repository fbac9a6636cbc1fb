#include "platform/engine/FaderCurve.h"

#include "platform/engine/SoundEngine.h"

#include <cmath>
#include <limits>

namespace {
// ln(10) / (2 ln 2): the exponent that turns "-10 dB per halving" into an amplitude power law.
const double kExponent = std::log(10.0) / (2.0 * std::log(2.0));
} // namespace

float FaderToGain(std::uint16_t fader) {
    if (fader == 0) {
        return 0.0f;
    }
    if (fader == kFaderMax) {
        return 1.0f;
    }
    return static_cast<float>(std::pow(static_cast<double>(fader) / kFaderMax, kExponent));
}

double FaderToDecibels(std::uint16_t fader) {
    if (fader == 0) {
        return -std::numeric_limits<double>::infinity();
    }
    return 10.0 * std::log2(static_cast<double>(fader) / kFaderMax);
}

std::uint16_t GainToFader(float gain) {
    if (!(gain > 0.0f)) {
        return 0;
    }
    if (gain >= 1.0f) {
        return kFaderMax;
    }
    double x = std::pow(static_cast<double>(gain), 1.0 / kExponent) * kFaderMax;
    auto fader = static_cast<std::uint16_t>(std::ceil(x - 1e-9));
    while (fader > 1 && FaderToGain(static_cast<std::uint16_t>(fader - 1)) >= gain) {
        --fader;
    }
    while (fader < kFaderMax && FaderToGain(fader) < gain) {
        ++fader;
    }
    return fader;
}

float SoundEngine::FaderGain(std::uint16_t fader) {
    return FaderToGain(fader);
}
