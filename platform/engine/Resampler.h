#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// Converts the rate of a stereo float stream with a Kaiser-windowed sinc filter.
///
/// The filter has kZeroCrossings zero crossings on each side; for downsampling it is widened
/// by the rate ratio, so that its cutoff (kCutoff of the lower Nyquist frequency) also removes
/// what would alias. Kernel values come from a table of kPhases steps per input sample, read
/// with linear interpolation. Positions are exact rationals (output frame j sits at input
/// time j * inRate / outRate), so long streams do not drift.
///
/// Push input with Input()/CommitInput(), mark its end with EndInput(), pull output with
/// Process(). Before the first input sample and after the last, the input counts as silence;
/// the output holds ceil(inputFrames * outRate / inRate) frames in all.
class Resampler {
public:
    static constexpr int kZeroCrossings = 24;
    static constexpr int kPhases = 256;
    static constexpr double kCutoff = 0.91;
    static constexpr double kKaiserBeta = 8.5;

    Resampler(int inRate, int outRate);

    int InRate() const { return m_inRate; }
    int OutRate() const { return m_outRate; }

    /// Room for frames more input frames (stereo); write into it, then CommitInput.
    float* Input(std::size_t frames);
    void CommitInput(std::size_t frames);
    /// No more input will come.
    void EndInput() { m_inputEnded = true; }

    /// How many input frames should be pushed before the next output frame can be made.
    std::size_t InputWanted() const;
    /// Makes up to frames output frames; returns how many.
    std::size_t Process(float* out, std::size_t frames);
    /// True when the input has ended and every output frame was made.
    bool Finished() const;

private:
    std::uint64_t TotalOutput() const;

    int m_inRate;
    int m_outRate;
    int m_halfWidth; // kernel half-width in input samples
    double m_tableStep;
    std::vector<float> m_table; // kernel over [-halfWidth, halfWidth] in steps of 1/kPhases

    std::vector<float> m_buffer; // stereo input frames; m_buffer[0] is input frame m_bufferStart
    std::int64_t m_bufferStart;  // may be negative: the leading silence
    std::size_t m_bufferFrames = 0;
    std::uint64_t m_inputFrames = 0;  // input frames received
    std::uint64_t m_outputFrames = 0; // output frames made
    bool m_inputEnded = false;
};
