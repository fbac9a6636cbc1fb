#pragma once

#include <cstddef>
#include <memory>
#include <optional>

/// Integrated loudness and true peak of an interleaved float stream, after EBU R128 (ITU-R
/// BS.1770: K-weighting, 400 ms blocks, absolute gate at -70 LUFS, relative gate 10 LU below).
///
/// Channels are taken in the WAVE order (left, right, centre, LFE, left surround, right
/// surround); a mono stream is one channel, not the same sound on two loudspeakers. The true
/// peak is read from the signal oversampled four times (twice at 96 kHz and above), so it sees
/// the peaks between samples that a converter will make.
///
/// Samples are floats with full scale at 1.0. One thread at a time; meters share nothing.
class LoudnessMeter {
public:
    /// A meter for channels (1..64) at rate (16..2822400 Hz); nullptr when either is out of
    /// range or memory is short.
    static std::unique_ptr<LoudnessMeter> Create(int channels, int rate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    int Channels() const { return m_channels; }
    int Rate() const { return m_rate; }

    /// Measures frames more frames (frames × Channels() floats).
    void Add(const float* interleaved, std::size_t frames);

    /// The integrated loudness so far in LUFS; nothing when no 400 ms block passed the gates
    /// (less than 400 ms of sound, or all of it below -70 LUFS).
    std::optional<double> IntegratedLufs() const;
    /// The highest true peak of any channel so far, linear (1.0 = full scale).
    double TruePeak() const;
    /// TruePeak() in dBTP; -infinity for silence.
    double TruePeakDb() const;

private:
    struct State; // libebur128's state (an unnamed struct, so not declared here)
    LoudnessMeter(std::unique_ptr<State> state, int channels, int rate);

    std::unique_ptr<State> m_state;
    int m_channels;
    int m_rate;
};
