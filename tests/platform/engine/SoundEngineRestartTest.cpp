// The sound server goes away and comes back while an item plays: the engine finds a device
// again and the item goes on; nothing the program calls waits for the server.

#include "platform/engine/SoundEngine.h"

#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
// Waits up to timeout for the capture to hear a 440 Hz tone; returns how long it took.
std::optional<double> SecondsUntilTone(AudioCapture& capture, std::chrono::seconds timeout) {
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < timeout) {
        std::this_thread::sleep_for(100ms);
        if (capture.Frames() < 4410) {
            continue;
        }
        std::vector<float> tail = capture.Latest(4410);
        std::vector<float> left = Channel(tail, 0);
        if (RmsDb(left) > -20.0 && std::abs(ZeroCrossingFrequency(left, 44100) - 440.0) < 3.0) {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    return std::nullopt;
}
} // namespace

TEST(SoundEngineRestartTest, PlaybackGoesOnAfterTheServerRestarts) {
    const std::string server = SoundServerScript();
    if (server.empty()) {
        GTEST_SKIP() << "QUILLON_SOUND_SERVER is not set (run under scripts/test)";
    }
    ::unsetenv("SDL_AUDIODRIVER");
    TempDir dir;
    WriteToneWave(dir.file("long.wav"), 440.0, 30.0);
    SoundEngine engine;
    SourceId id = 0;
    ASSERT_TRUE(engine.OpenWave(dir.file("long.wav"), id).ok());
    EndLog ends;
    ASSERT_TRUE(engine.Play(id, ends.Handler()).ok());
    {
        AudioCapture before;
        ASSERT_TRUE(before.WaitUntilRunning());
        ASSERT_TRUE(SecondsUntilTone(before, 5s).has_value()) << "no tone before the restart";
    }

    // While the server is gone and coming back, calls into the engine return at once.
    std::atomic<bool> restarting{true};
    std::atomic<long long> slowestCallMs{0};
    std::thread caller([&] {
        SourceId other = 0;
        while (restarting) {
            auto start = std::chrono::steady_clock::now();
            EXPECT_TRUE(engine.OpenWave(dir.file("long.wav"), other).ok());
            engine.Stop(other);
            engine.Close(other);
            engine.IsPlaying(id);
            long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
            slowestCallMs = std::max(slowestCallMs.load(), ms);
            std::this_thread::sleep_for(20ms);
        }
    });
    ASSERT_EQ(std::system((server + " restart").c_str()), 0);
    auto restarted = std::chrono::steady_clock::now();
    restarting = false;
    caller.join();
    EXPECT_LT(slowestCallMs.load(), 500);

    AudioCapture after;
    ASSERT_TRUE(after.WaitUntilRunning());
    std::optional<double> resumed = SecondsUntilTone(after, 8s);
    ASSERT_TRUE(resumed.has_value()) << "the tone did not come back";
    double sinceRestart =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
    EXPECT_LT(sinceRestart, 5.0);
    SoundEngine::Stats stats = engine.GetStats();
    EXPECT_GE(stats.deviceLosses, 1u);
    EXPECT_GE(stats.deviceOpens, 2u);
    EXPECT_TRUE(engine.IsPlaying(id));
    EXPECT_TRUE(ends.Entries().empty());
    EXPECT_TRUE(engine.Stop(id).ok());
}
