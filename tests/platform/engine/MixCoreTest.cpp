// The mixer's chaining with voices scripted by hand: a cue starts on the sample after the last
// one of the voice it follows, inside the same period, with its own gains from that sample.

#include "platform/engine/MixCore.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr std::size_t kPeriod = 64;

class MixCoreTest : public ::testing::Test {
protected:
    // A voice holding `frames` frames of (1, 1), all of it written.
    Voice& MakeVoice(Bus bus, std::size_t frames, int state) {
        m_voices.push_back(std::make_unique<Voice>(128, bus, m_feed));
        Voice& voice = *m_voices.back();
        const std::vector<float> ones(frames * 2, 1.0f);
        voice.ring.Write(ones.data(), frames);
        voice.producerDone = true;
        voice.nearEndAt = frames / 2;
        voice.state = state;
        EXPECT_TRUE(m_core.Attach(voice));
        return voice;
    }

    static void Follow(Voice& cue, const Voice& after, float left, float right) {
        cue.hasStartGain = true;
        cue.startGain[0] = left;
        cue.startGain[1] = right;
        cue.after = &after;
    }

    std::vector<float> Mix() {
        std::vector<float> out(kPeriod * 2);
        m_core.Mix(out.data(), kPeriod);
        return out;
    }

    Semaphore m_notice;
    FeedSignal m_feed;
    MixCore m_core{m_notice};
    std::vector<std::unique_ptr<Voice>> m_voices;
};

TEST_F(MixCoreTest, CuesStartOnTheSampleAfterTheLastWithTheirOwnGains) {
    m_core.SetBusGain(Bus::Wave, 0.5f, 0.5f);
    Voice& first = MakeVoice(Bus::Wave, 10, Voice::kPlaying);
    Voice& second = MakeVoice(Bus::Wave, 20, Voice::kCued);
    Follow(second, first, 0.25f, 0.75f);
    // A cue of another bus after a cue that ends in the same period.
    Voice& third = MakeVoice(Bus::Synth, 5, Voice::kCued);
    third.after = &second;

    const std::vector<float> out = Mix();
    for (std::size_t i = 0; i < kPeriod; ++i) {
        const float left = i < 10 ? 0.5f : i < 30 ? 0.25f : i < 35 ? 1.0f : 0.0f;
        const float right = i < 10 ? 0.5f : i < 30 ? 0.75f : i < 35 ? 1.0f : 0.0f;
        ASSERT_EQ(out[2 * i], left) << i;
        ASSERT_EQ(out[2 * i + 1], right) << i;
    }
    for (const Voice* voice : {&first, &second, &third}) {
        EXPECT_EQ(voice->state, Voice::kEnded);
        EXPECT_TRUE(voice->nearEndPassed);
    }
    EXPECT_TRUE(second.startedOnCue);
    EXPECT_EQ(m_core.BusGain(Bus::Wave, 0), 0.25f) << "the bus keeps the cue's gain";
    EXPECT_EQ(m_core.BusGain(Bus::Wave, 1), 0.75f);
    EXPECT_TRUE(m_notice.WaitFor(std::chrono::milliseconds(0)));
}

TEST_F(MixCoreTest, ACueWaitsForTheEndOfWhatItFollowsAndADisarmedOneNeverStarts) {
    m_core.SetBusGain(Bus::Wave, 0.5f, 0.5f);
    m_core.SetBusGain(Bus::Cd, 0.25f, 0.25f);
    // Still decoding: the first voice runs dry in this period, but has not ended.
    Voice& decoding = MakeVoice(Bus::Wave, 10, Voice::kPlaying);
    decoding.producerDone = false;
    Voice& waiting = MakeVoice(Bus::Wave, 10, Voice::kCued);
    waiting.after = &decoding;
    // Ended, but its cue was taken back (the engine stopped it before the mixer got there).
    Voice& ending = MakeVoice(Bus::Cd, 10, Voice::kPlaying);
    Voice& disarmed = MakeVoice(Bus::Cd, 10, Voice::kStopped);
    disarmed.after = &ending;

    const std::vector<float> out = Mix();
    EXPECT_EQ(out[2 * 9], 0.75f) << "the two playing voices together";
    EXPECT_EQ(out[2 * 10], 0.0f) << "nothing started after them";
    EXPECT_EQ(decoding.state, Voice::kPlaying);
    EXPECT_EQ(waiting.state, Voice::kCued);
    EXPECT_EQ(ending.state, Voice::kEnded);
    EXPECT_EQ(disarmed.state, Voice::kStopped);
    EXPECT_EQ(m_core.Underruns(), 1u);

    // Once the first is done, its cue starts where it ends.
    decoding.producerDone = true;
    EXPECT_EQ(Mix()[0], 0.5f);
    EXPECT_TRUE(waiting.startedOnCue);
}

// A voice started by Play whose first refill is late waits, whole, for a period in its ring:
// its start moves, its sound does not break up.
TEST_F(MixCoreTest, AStartedVoiceSoundsOnlyOnceItsRingHoldsAPeriod) {
    Voice& voice = MakeVoice(Bus::Wave, 40, Voice::kPlaying);
    voice.producerDone = false;
    voice.primed = false;
    EXPECT_EQ(Mix()[0], 0.0f);
    EXPECT_EQ(voice.framesPlayed, 0u);
    EXPECT_TRUE(m_feed.requested);
    EXPECT_EQ(m_core.Underruns(), 0u);

    const std::vector<float> more(2 * kPeriod, 1.0f);
    voice.ring.Write(more.data(), kPeriod);
    const std::vector<float> out = Mix();
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[2 * kPeriod - 1], 1.0f) << "a whole period";
    EXPECT_EQ(voice.framesPlayed, kPeriod);
}

} // namespace
