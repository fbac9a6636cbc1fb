#include "dsp/LoudnessMeter.h"

#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The reference tone of EBU Tech 3341: 1 kHz at -23 dBFS reads -23 LUFS in stereo (each
// channel counts), 3 dB less in mono; its true peak is its amplitude.
TEST(LoudnessMeterTest, ReadsTheReferenceToneAndNothingFromSilence) {
    const auto tone = testaudio::SineTone(1000, 5.0, 48000, std::pow(10.0, -23.0 / 20));
    for (const int channels : {1, 2}) {
        auto meter = LoudnessMeter::Create(channels, 48000);
        ASSERT_NE(meter, nullptr);
        std::vector<float> frames;
        for (const float v : tone) {
            frames.insert(frames.end(), static_cast<std::size_t>(channels), v);
        }
        meter->Add(frames.data(), tone.size());
        ASSERT_TRUE(meter->IntegratedLufs().has_value());
        EXPECT_NEAR(*meter->IntegratedLufs(), channels == 2 ? -23.0 : -26.01, 0.1);
        EXPECT_NEAR(meter->TruePeakDb(), -23.0, 0.1);
    }
    auto meter = LoudnessMeter::Create(1, 48000);
    const std::vector<float> silence(48000, 0.0f);
    meter->Add(silence.data(), silence.size());
    EXPECT_FALSE(meter->IntegratedLufs().has_value());
    EXPECT_TRUE(std::isinf(meter->TruePeakDb()));
    EXPECT_EQ(LoudnessMeter::Create(0, 48000), nullptr);
}

} // namespace
