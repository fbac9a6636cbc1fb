#include "dsp/SampleQuantizer.h"

#include <algorithm>
#include <cmath>

SampleQuantizer::SampleQuantizer(int bits, bool dither)
    : m_scale(std::ldexp(1.0, bits - 1))
    , m_low(-m_scale)
    , m_high(m_scale - 1.0)
    , m_shift(32 - bits)
    , m_dither(dither) {}

double SampleQuantizer::Triangular() {
    // xorshift64*: plenty for dither, and cheap enough to run twice a sample.
    auto uniform = [this] {
        m_seed ^= m_seed >> 12;
        m_seed ^= m_seed << 25;
        m_seed ^= m_seed >> 27;
        return static_cast<double>((m_seed * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;
    };
    return uniform() - uniform();
}

std::int32_t SampleQuantizer::Quantize(float sample) {
    double value = static_cast<double>(sample) * m_scale;
    if (m_dither) {
        value += Triangular();
    }
    value = std::clamp(std::nearbyint(value), m_low, m_high);
    return static_cast<std::int32_t>(static_cast<std::int32_t>(value) *
                                     (std::int64_t{1} << m_shift));
}

double SampleQuantizer::MaxError() const {
    return (m_dither ? 1.5 : 0.5) / m_scale;
}
