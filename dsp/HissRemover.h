#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// Settings of the denoiser, tuned on bench/dsp's speech-like recording with hiss 25 dB down
/// (hiss left in the pauses of 10 s: -20 dB: 16 dB less, -25: 18, -30: 19.5, -40: 21; the
/// speech 0.1 dB lower at each). -30 keeps a margin on long recordings, where the noise
/// tracker drifts (17.7 dB less over 60 s).
struct HissSettings {
    /// The most the denoiser lowers a band it takes for noise, in dB (speexdsp's default: -15).
    int noiseSuppressDb = -30;
};

/// Removes steady background noise (hiss, fan, hum) from an interleaved float stream with
/// speexdsp's preprocessor: per channel, a short-time spectrum in 24 bands on the Bark scale,
/// a noise estimate from minimum statistics, and an Ephraim-Malah gain per bin that keeps what
/// stands above the noise and lowers the rest. Its automatic gain control and dereverberation
/// stay off: the level of the speech is not touched.
///
/// The denoiser works on 16-bit frames of about 10 ms at the stream's rate up to kHighestRate
/// (its 24 bands spread over the whole spectrum, so a higher rate would leave the speech a few
/// of them); a faster stream is resampled to kHighestRate and back with libsoxr. Each frame is
/// scaled so that the stream's peak sits 6 dB below full scale, so a quiet recording keeps the
/// whole 16-bit resolution, and scaled back afterwards.
///
/// The output is the input's length and time-aligned with it: the preprocessor's one-frame
/// delay and the resamplers' are taken out. Use: Learn() once on a stretch that has the noise
/// (the beginning of the recording), then Process() block by block, then Finish(). One thread
/// at a time.
class HissRemover {
public:
    static constexpr int kHighestRate = 48000;

    /// peak: the highest sample magnitude of the stream (> 0). nullptr and error on failure.
    static std::unique_ptr<HissRemover> Create(int channels, int rate, double peak,
                                               const HissSettings& settings, std::string& error);
    ~HissRemover();
    HissRemover(const HissRemover&) = delete;
    HissRemover& operator=(const HissRemover&) = delete;

    /// The rate the denoiser runs at.
    int DenoiseRate() const { return m_denoiseRate; }

    /// Teaches the noise estimate on frames that come before the processing (their output is
    /// thrown away). Only before the first Process().
    void Learn(const float* interleaved, std::size_t frames);
    /// Appends the processed frames that are ready to out (fewer than given at first).
    void Process(const float* interleaved, std::size_t frames, std::vector<float>& out);
    /// Appends the rest: in all, out gets exactly as many frames as went in.
    void Finish(std::vector<float>& out);

private:
    class Channel;
    HissRemover(int channels, int denoiseRate);
    void Collect(std::vector<float>& out);

    int m_channels;
    int m_denoiseRate;
    std::vector<std::unique_ptr<Channel>> m_chain;
    std::vector<float> m_planar;
    std::uint64_t m_framesIn = 0;
    std::uint64_t m_framesOut = 0;
};
