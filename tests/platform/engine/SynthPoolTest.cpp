// Idle synthesizers are reused only while their SoundFont file is the one they were loaded
// from: samples are read from it on demand, long after loading.

#include "platform/engine/SynthPool.h"

#include "platform/engine/SoundEngine.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {
const std::string kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

TEST(SynthPoolTest, AnIdleSynthesizerIsReusedOnlyWhileItsFontIsUnchanged) {
    TempDir dir;
    const std::string font = dir.file("font.sf2");
    std::filesystem::copy_file(kSoundFont, font);
    SynthPool pool(44100, SoundEngine::kDefaultSynthGain);

    EngineStatus status;
    std::unique_ptr<LoadedSynth> first = pool.Acquire(font, status);
    ASSERT_TRUE(first) << status.message;
    const LoadedSynth* loaded = first.get();
    pool.Release(std::move(first));
    std::unique_ptr<LoadedSynth> again = pool.Acquire(font, status);
    ASSERT_TRUE(again);
    EXPECT_EQ(again.get(), loaded) << "an unchanged font is not loaded twice";
    pool.Release(std::move(again));
    EXPECT_TRUE(pool.Probe(font).ok());

    // Replaced by something that is no SoundFont: the idle synthesizer must not be handed out.
    WriteFileBytes(font, Bytes(1000, 0x41));
    EXPECT_FALSE(pool.Acquire(font, status));
    EXPECT_EQ(status.error, EngineError::NoSoundFont);
    EXPECT_EQ(pool.Probe(font).error, EngineError::NoSoundFont);

    // A good font again, then removed.
    std::filesystem::remove(font);
    std::filesystem::copy_file(kSoundFont, font);
    std::unique_ptr<LoadedSynth> fresh = pool.Acquire(font, status);
    ASSERT_TRUE(fresh) << status.message;
    pool.Release(std::move(fresh));
    std::filesystem::remove(font);
    EXPECT_EQ(pool.Probe(font).error, EngineError::NoSoundFont);
    EXPECT_FALSE(pool.Acquire(font, status));
    EXPECT_EQ(status.error, EngineError::NoSoundFont);
}
} // namespace
