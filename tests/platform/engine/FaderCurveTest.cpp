#include "platform/engine/FaderCurve.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(FaderCurveTest, HalvingTheFaderSoundsHalfAsLoudDownToSilence) {
    // -10 dB per halving of the fader: half as loud to the ear each time.
    EXPECT_EQ(FaderToGain(kFaderMax), 1.0f);
    EXPECT_NEAR(20.0 * std::log10(FaderToGain(32768)), -10.0, 0.01);
    EXPECT_NEAR(20.0 * std::log10(FaderToGain(16384)), -20.0, 0.01);
    EXPECT_NEAR(20.0 * std::log10(FaderToGain(8192)), -30.0, 0.01);
    EXPECT_NEAR(FaderToDecibels(32768), -10.0, 0.01);
    EXPECT_EQ(FaderToGain(0), 0.0f);
    EXPECT_TRUE(std::isinf(FaderToDecibels(0)));
}

TEST(FaderCurveTest, RisesStrictlyAndInvertsExactly) {
    float previous = -1.0f;
    for (unsigned fader = 0; fader <= kFaderMax; ++fader) {
        float gain = FaderToGain(static_cast<std::uint16_t>(fader));
        ASSERT_GT(gain, previous) << fader;
        ASSERT_LE(gain, 1.0f);
        previous = gain;
    }
    for (unsigned fader : {0u, 1u, 2u, 100u, 1000u, 32768u, 65000u, 65534u, 65535u}) {
        auto f = static_cast<std::uint16_t>(fader);
        EXPECT_EQ(GainToFader(FaderToGain(f)), f);
    }
    EXPECT_EQ(GainToFader(-1.0f), 0);
    EXPECT_EQ(GainToFader(2.0f), kFaderMax);
}
