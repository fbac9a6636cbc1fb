#pragma once

#include <cstdint>

/// Turns float samples (full scale 1.0) into integers of a given width, left-justified in 32
/// bits as libsndfile's int functions take them: rounded to the nearest step and clipped to the
/// range. With dither, triangular (TPDF) noise of ±1 step is added before rounding, so that the
/// error is noise independent of the signal rather than distortion that follows it; at 8 bits
/// that error is audible otherwise.
///
/// The noise comes from a fixed seed: the same input gives the same output.
class SampleQuantizer {
public:
    /// bits 8..32.
    SampleQuantizer(int bits, bool dither);

    std::int32_t Quantize(float sample);
    /// The largest amount the output may lie from the input, in full-scale units: what
    /// rounding and dither may add to a peak.
    double MaxError() const;

private:
    double Triangular();

    double m_scale; // steps per full scale
    double m_low;   // lowest step
    double m_high;  // highest step
    int m_shift;    // 32 - bits
    bool m_dither;
    std::uint64_t m_seed = 0x9E3779B97F4A7C15ull;
};
