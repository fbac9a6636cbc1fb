#include "platform/engine/Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {
std::vector<float> Sine(double frequency, int rate, std::size_t frames, double amplitude = 0.5) {
    std::vector<float> out(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        auto v = static_cast<float>(
            amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
        out[2 * i] = v;
        out[2 * i + 1] = -v;
    }
    return out;
}

// Runs the whole input through, pushing it in chunks of the given size.
std::vector<float> Convert(const std::vector<float>& in, int inRate, int outRate,
                           std::size_t chunk) {
    Resampler resampler(inRate, outRate);
    std::vector<float> out;
    std::size_t pushed = 0;
    const std::size_t frames = in.size() / 2;
    std::vector<float> block(4096 * 2);
    while (!resampler.Finished()) {
        std::size_t made = resampler.Process(block.data(), 4096);
        out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(made * 2));
        if (made == 0) {
            if (pushed == frames) {
                resampler.EndInput();
                continue;
            }
            std::size_t n = std::min(chunk, frames - pushed);
            float* dst = resampler.Input(n);
            std::copy(in.begin() + static_cast<std::ptrdiff_t>(pushed * 2),
                      in.begin() + static_cast<std::ptrdiff_t>((pushed + n) * 2), dst);
            resampler.CommitInput(n);
            pushed += n;
        }
    }
    return out;
}

// Error of the middle of a converted sine against the ideal one, in dB below the signal.
double SignalToError(const std::vector<float>& out, double frequency, int rate, double amplitude,
                     int channelSign) {
    std::size_t frames = out.size() / 2;
    double signal = 0;
    double error = 0;
    for (std::size_t i = frames / 4; i < frames * 3 / 4; ++i) {
        double ideal = channelSign * amplitude *
                       std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
        double got = out[2 * i + (channelSign > 0 ? 0 : 1)];
        signal += ideal * ideal;
        error += (got - ideal) * (got - ideal);
    }
    return 10 * std::log10(signal / error);
}
} // namespace

TEST(ResamplerTest, ConvertsCommonRatesCleanly) {
    struct Case {
        int inRate;
        double frequency;
    };
    for (Case c : {Case{48000, 1000.0}, Case{22050, 440.0}, Case{8000, 300.0}, Case{96000, 5000.0},
                   Case{11025, 3000.0}}) {
        std::vector<float> in = Sine(c.frequency, c.inRate, static_cast<std::size_t>(c.inRate));
        std::vector<float> out = Convert(in, c.inRate, 44100, 1000);
        // ceil(frames * out / in) frames, none lost, none invented.
        std::size_t expected =
            (static_cast<std::size_t>(c.inRate) * 44100 + static_cast<std::size_t>(c.inRate) - 1) /
            static_cast<std::size_t>(c.inRate);
        EXPECT_EQ(out.size() / 2, expected) << c.inRate;
        EXPECT_GT(SignalToError(out, c.frequency, 44100, 0.5, 1), 70.0) << c.inRate;
        EXPECT_GT(SignalToError(out, c.frequency, 44100, 0.5, -1), 70.0) << c.inRate;
    }
}

TEST(ResamplerTest, RemovesWhatWouldAlias) {
    // 23 kHz is above the output's Nyquist frequency: it must not fold back down to 21.1 kHz.
    std::vector<float> in = Sine(23000.0, 48000, 48000);
    std::vector<float> out = Convert(in, 48000, 44100, 4096);
    double energy = 0;
    for (std::size_t i = out.size() / 4; i < out.size() * 3 / 4; ++i) {
        energy += static_cast<double>(out[i]) * out[i];
    }
    double rms = std::sqrt(energy / static_cast<double>(out.size() / 2));
    EXPECT_LT(20 * std::log10(rms / (0.5 / std::sqrt(2.0))), -60.0);
}

TEST(ResamplerTest, ChunkingDoesNotChangeTheResult) {
    std::vector<float> in = Sine(440.0, 22050, 30000);
    std::vector<float> whole = Convert(in, 22050, 44100, 30000);
    std::vector<float> bits = Convert(in, 22050, 44100, 7);
    ASSERT_EQ(whole.size(), bits.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        ASSERT_FLOAT_EQ(whole[i], bits[i]) << i;
    }
}

TEST(ResamplerTest, KeepsTheLevelOfSteadySignals) {
    std::vector<float> in(20000 * 2, 0.25f);
    std::vector<float> out = Convert(in, 32000, 44100, 512);
    // Away from the edges the filter's gain at 0 Hz is 1.
    for (std::size_t i = out.size() / 4; i < out.size() * 3 / 4; ++i) {
        ASSERT_NEAR(out[i], 0.25f, 0.25f * 0.002f) << i;
    }
}
