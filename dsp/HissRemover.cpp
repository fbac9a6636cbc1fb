#include "dsp/HissRemover.h"

#include <soxr.h>
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace {

struct SoxrDeleter {
    void operator()(soxr_t resampler) const { soxr_delete(resampler); }
};
using Soxr = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;

struct SpeexDeleter {
    void operator()(SpeexPreprocessState* state) const { speex_preprocess_state_destroy(state); }
};
using Speex = std::unique_ptr<SpeexPreprocessState, SpeexDeleter>;

// Where the stream's peak sits in the denoiser's 16-bit frames: 6 dB of room for what the
// resampler and the denoiser's overlap-add may add to it.
constexpr float kFramePeak = 16384.0f;
constexpr std::size_t kResampleChunk = 4096;

// Mono float in, mono float out; nothing when the rates are the same.
Soxr MakeResampler(int from, int to, std::string& error) {
    if (from == to) {
        return nullptr;
    }
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t failure = nullptr;
    Soxr resampler(soxr_create(from, to, 1, &failure, &io, &quality, nullptr));
    if (failure != nullptr) {
        error = std::string("The resampler cannot be set up (") + failure + ").";
        return nullptr;
    }
    return resampler;
}

// Runs count samples through a resampler, or with in == nullptr drains what it still holds.
void Resample(soxr_t resampler, const float* in, std::size_t count, std::vector<float>& out) {
    float buffer[kResampleChunk];
    std::size_t used = 0;
    for (;;) {
        std::size_t taken = 0;
        std::size_t made = 0;
        soxr_process(resampler, in != nullptr ? in + used : nullptr,
                     in != nullptr ? count - used : 0, &taken, buffer, kResampleChunk, &made);
        out.insert(out.end(), buffer, buffer + made);
        used += taken;
        if (in != nullptr ? used >= count && made < kResampleChunk : made == 0) {
            return;
        }
    }
}

// About 10 ms, made of the factors 2, 3 and 5 only, so that the FFT (of twice that size) needs
// no slow generic radix. The noise tracker's time constants count frames: at 10 ms it follows
// the noise twice as closely as at 20 ms, which took 3 dB more hiss out of bench/dsp's
// recordings with the same level of the speech; 5 ms gained little more and blurs the
// harmonics of low voices.
int FrameSize(int rate) {
    const int most = std::max(64, rate / 100);
    int best = 64;
    for (int a = 1; a <= most; a *= 2) {
        for (int b = a; b <= most; b *= 3) {
            for (int c = b; c <= most; c *= 5) {
                best = std::max(best, c);
            }
        }
    }
    return best;
}

} // namespace

// One channel's chain: [resample to the denoiser's rate] -> denoise -> [resample back].
class HissRemover::Channel {
public:
    Channel(int rate, int denoiseRate, Soxr down, Soxr up, Speex speex, int frameSize, float scale)
        : m_rate(rate)
        , m_denoiseRate(denoiseRate)
        , m_down(std::move(down))
        , m_up(std::move(up))
        , m_speex(std::move(speex))
        , m_frame(static_cast<std::size_t>(frameSize))
        , m_scale(scale) {}

    void Learn(const float* samples, std::size_t count) {
        std::vector<float> resampled;
        if (m_down) {
            std::string ignored;
            Soxr once = MakeResampler(m_rate, m_denoiseRate, ignored);
            if (!once) {
                return;
            }
            Resample(once.get(), samples, count, resampled);
            Resample(once.get(), nullptr, 0, resampled);
            samples = resampled.data();
            count = resampled.size();
        }
        const std::size_t n = m_frame.size();
        for (std::size_t i = 0; i + n <= count; i += n) {
            Fill(samples + i, n);
            speex_preprocess_run(m_speex.get(), m_frame.data());
        }
        // Two silent frames clear the overlap buffers, so that the learnt stretch does not
        // leak into the start of the real output; they lower the noise estimate by 0.3 dB.
        for (int i = 0; i < 2; ++i) {
            std::fill(m_frame.begin(), m_frame.end(), 0);
            speex_preprocess_run(m_speex.get(), m_frame.data());
        }
        m_filled = 0;
    }

    void Push(const float* samples, std::size_t count) {
        if (m_down) {
            m_resampled.clear();
            Resample(m_down.get(), samples, count, m_resampled);
            Denoise(m_resampled.data(), m_resampled.size());
        } else {
            Denoise(samples, count);
        }
    }

    void Finish() {
        if (m_down) {
            m_resampled.clear();
            Resample(m_down.get(), nullptr, 0, m_resampled);
            Denoise(m_resampled.data(), m_resampled.size());
        }
        // The last partial frame, padded with silence, then one more to push out the frame the
        // denoiser holds back.
        if (m_filled > 0) {
            std::fill(m_frame.begin() + static_cast<std::ptrdiff_t>(m_filled), m_frame.end(), 0);
            RunFrame();
        }
        std::fill(m_frame.begin(), m_frame.end(), 0);
        RunFrame();
        if (m_up) {
            Resample(m_up.get(), nullptr, 0, m_output);
        }
    }

    /// Samples at the stream's rate, ready to be taken from the front.
    std::vector<float>& Output() { return m_output; }

private:
    // Scaled into the frame from position at on.
    void Fill(const float* samples, std::size_t count, std::size_t at = 0) {
        for (std::size_t i = 0; i < count; ++i) {
            const long value = std::lrint(samples[i] * m_scale);
            m_frame[at + i] = static_cast<spx_int16_t>(std::clamp(value, -32768L, 32767L));
        }
    }

    void Denoise(const float* samples, std::size_t count) {
        const std::size_t n = m_frame.size();
        while (count > 0) {
            const std::size_t take = std::min(count, n - m_filled);
            Fill(samples, take, m_filled);
            samples += take;
            count -= take;
            m_filled += take;
            if (m_filled == n) {
                RunFrame();
            }
        }
    }

    void RunFrame() {
        speex_preprocess_run(m_speex.get(), m_frame.data());
        m_filled = 0;
        if (m_delayed) {
            // The denoiser answers each frame with the one before; the first belongs to no input.
            m_delayed = false;
            return;
        }
        std::vector<float>& target = m_up ? m_denoised : m_output;
        for (const spx_int16_t sample : m_frame) {
            target.push_back(static_cast<float>(sample) / m_scale);
        }
        if (m_up) {
            Resample(m_up.get(), m_denoised.data(), m_denoised.size(), m_output);
            m_denoised.clear();
        }
    }

    int m_rate;
    int m_denoiseRate;
    Soxr m_down;
    Soxr m_up;
    Speex m_speex;
    std::vector<spx_int16_t> m_frame;
    std::size_t m_filled = 0;
    float m_scale;
    bool m_delayed = true;
    std::vector<float> m_resampled;
    std::vector<float> m_denoised;
    std::vector<float> m_output;
};

HissRemover::HissRemover(int channels, int denoiseRate)
    : m_channels(channels)
    , m_denoiseRate(denoiseRate) {}

HissRemover::~HissRemover() = default;

std::unique_ptr<HissRemover> HissRemover::Create(int channels, int rate, double peak,
                                                 const HissSettings& settings, std::string& error) {
    const int denoiseRate = std::min(rate, kHighestRate);
    const int frameSize = FrameSize(denoiseRate);
    const auto scale = static_cast<float>(kFramePeak / std::max(peak, 1e-9));
    std::unique_ptr<HissRemover> remover(new HissRemover(channels, denoiseRate));
    for (int c = 0; c < channels; ++c) {
        Soxr down = MakeResampler(rate, denoiseRate, error);
        Soxr up = MakeResampler(denoiseRate, rate, error);
        Speex speex(speex_preprocess_state_init(frameSize, denoiseRate));
        if (!error.empty() || !speex) {
            if (error.empty()) {
                error = "The denoiser cannot be set up.";
            }
            return nullptr;
        }
        spx_int32_t on = 1;
        spx_int32_t off = 0;
        spx_int32_t suppress = settings.noiseSuppressDb;
        speex_preprocess_ctl(speex.get(), SPEEX_PREPROCESS_SET_DENOISE, &on);
        speex_preprocess_ctl(speex.get(), SPEEX_PREPROCESS_SET_AGC, &off);
        speex_preprocess_ctl(speex.get(), SPEEX_PREPROCESS_SET_DEREVERB, &off);
        speex_preprocess_ctl(speex.get(), SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &suppress);
        remover->m_chain.push_back(std::make_unique<Channel>(
            rate, denoiseRate, std::move(down), std::move(up), std::move(speex), frameSize, scale));
    }
    return remover;
}

void HissRemover::Learn(const float* interleaved, std::size_t frames) {
    m_planar.resize(frames);
    for (int c = 0; c < m_channels; ++c) {
        for (std::size_t i = 0; i < frames; ++i) {
            m_planar[i] = interleaved[i * static_cast<std::size_t>(m_channels) + c];
        }
        m_chain[static_cast<std::size_t>(c)]->Learn(m_planar.data(), frames);
    }
}

void HissRemover::Process(const float* interleaved, std::size_t frames, std::vector<float>& out) {
    m_planar.resize(frames);
    for (int c = 0; c < m_channels; ++c) {
        for (std::size_t i = 0; i < frames; ++i) {
            m_planar[i] = interleaved[i * static_cast<std::size_t>(m_channels) + c];
        }
        m_chain[static_cast<std::size_t>(c)]->Push(m_planar.data(), frames);
    }
    m_framesIn += frames;
    Collect(out);
}

void HissRemover::Finish(std::vector<float>& out) {
    for (auto& channel : m_chain) {
        channel->Finish();
    }
    Collect(out);
    // The chain always makes at least as much as went in; this only guards the count.
    out.resize(out.size() + (m_framesIn - m_framesOut) * static_cast<std::size_t>(m_channels), 0);
    m_framesOut = m_framesIn;
}

void HissRemover::Collect(std::vector<float>& out) {
    std::size_t ready = static_cast<std::size_t>(m_framesIn - m_framesOut);
    for (auto& channel : m_chain) {
        ready = std::min(ready, channel->Output().size());
    }
    const std::size_t base = out.size();
    out.resize(base + ready * static_cast<std::size_t>(m_channels));
    for (int c = 0; c < m_channels; ++c) {
        std::vector<float>& samples = m_chain[static_cast<std::size_t>(c)]->Output();
        for (std::size_t i = 0; i < ready; ++i) {
            out[base + i * static_cast<std::size_t>(m_channels) + c] = samples[i];
        }
        samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(ready));
    }
    m_framesOut += ready;
}
