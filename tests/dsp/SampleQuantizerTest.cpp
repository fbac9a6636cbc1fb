#include "dsp/SampleQuantizer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// TPDF dither makes the 8-bit steps linear on average: a level between two steps survives as
// the mean of the output, where plain rounding would lose it; the error stays within 1.5 steps.
TEST(SampleQuantizerTest, DitherKeepsLevelsBetweenStepsAndRoundingClips) {
    const float between = 0.3f / 128; // 0.3 of an 8-bit step
    SampleQuantizer dithered(8, true);
    SampleQuantizer rounded(8, false);
    double sum = 0;
    const int count = 200000;
    for (int i = 0; i < count; ++i) {
        const double step = dithered.Quantize(between) / 16777216.0; // >> 24
        EXPECT_LE(std::fabs(step - 0.3), 1.5);
        sum += step;
        EXPECT_EQ(rounded.Quantize(between), 0);
    }
    EXPECT_NEAR(sum / count, 0.3, 0.01);
    EXPECT_EQ(rounded.Quantize(1.5f), 127 << 24);
    EXPECT_EQ(rounded.Quantize(-1.5f), -128 * (1 << 24));
    EXPECT_EQ(SampleQuantizer(16, false).Quantize(0.5f), 16384 << 16);
}

} // namespace
