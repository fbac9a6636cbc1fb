// The private sound server goes away, comes back late or stalls, while the engine plays or
// records: playback and recording go on once it is back, and nothing the program calls waits
// for it.

#include "platform/engine/SoundEngine.h"

#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
constexpr int kRate = 44100;

// True once the capture hears a 440 Hz tone within timeout.
bool HearsTone(AudioCapture& capture, std::chrono::seconds timeout) {
    return WaitFor(
        [&] {
            if (capture.Frames() < 4410) {
                return false;
            }
            const std::vector<float> left = Channel(capture.Latest(4410), 0);
            return RmsDb(left) > -20.0 &&
                   std::abs(ZeroCrossingFrequency(left, kRate) - 440.0) < 3.0;
        },
        timeout);
}

class SoundEngineServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_server.empty())
            << "QUILLON_SOUND_SERVER is not set (run under scripts/test)";
        ::unsetenv("SDL_AUDIODRIVER");
    }
    int Server(const std::string& command) {
        return std::system((m_server + " " + command).c_str());
    }
    // The PID of the server (scripts/sound-server keeps it there).
    static pid_t ServerPid() {
        std::ifstream in(std::string(std::getenv("XDG_RUNTIME_DIR")) + "/quillon-pulse.pid");
        pid_t pid = 0;
        in >> pid;
        return pid;
    }

    const std::string m_server = SoundServerScript();
    TempDir m_dir;
};
} // namespace

TEST_F(SoundEngineServerTest, PlaybackGoesOnAfterTheServerRestartsAndNoCallWaitsForIt) {
    WriteToneWave(m_dir.file("long.wav"), 440.0, 30.0);
    SoundEngine engine;
    SourceId id = 0;
    ASSERT_TRUE(engine.OpenWave(m_dir.file("long.wav"), id).ok());
    EndLog ends;
    ASSERT_TRUE(engine.Play(id, ends.Handler()).ok());
    {
        AudioCapture before;
        ASSERT_TRUE(before.WaitUntilRunning());
        ASSERT_TRUE(HearsTone(before, 5s)) << "no tone before the restart";
    }

    // While the server is gone, calls into the engine go round and round: a call that waited
    // for the server would hold its thread until the server is back.
    std::atomic<bool> calling{true};
    std::atomic<int> rounds{0};
    std::thread caller([&] {
        while (calling) {
            SourceId other = 0;
            EXPECT_TRUE(engine.OpenWave(m_dir.file("long.wav"), other).ok());
            engine.Stop(other);
            engine.Close(other);
            engine.IsPlaying(id);
            ++rounds;
            std::this_thread::sleep_for(20ms);
        }
    });
    ASSERT_EQ(Server("stop"), 0);
    const int before = rounds;
    EXPECT_TRUE(WaitFor([&] { return rounds >= before + 5; }, 10s))
        << "a call waits for the server";
    ASSERT_EQ(Server("start"), 0);
    calling = false;
    caller.join();

    AudioCapture after;
    ASSERT_TRUE(after.WaitUntilRunning());
    ASSERT_TRUE(HearsTone(after, 8s)) << "the tone did not come back";
    SoundEngine::Stats stats = engine.GetStats();
    EXPECT_GE(stats.deviceLosses, 1u);
    EXPECT_GE(stats.deviceOpens, 2u);
    EXPECT_TRUE(engine.IsPlaying(id));
    EXPECT_TRUE(ends.Entries().empty());
    EXPECT_TRUE(engine.Stop(id).ok());
}

TEST_F(SoundEngineServerTest, AServerRestartEndsTheRecordingAndANewStartAppends) {
    SoundEngine engine;
    SourceId id = 0;
    ASSERT_TRUE(engine.OpenCapture({kRate, 1, 16}, id).ok());
    EndLog ends;
    {
        MicrophoneTone tone(440.0, 20.0);
        ASSERT_TRUE(tone.Started());
        std::uint64_t serial = 0;
        ASSERT_TRUE(engine.StartCapture(id, ends.Handler(), &serial).ok());
        ASSERT_TRUE(WaitFor([&] { return engine.CapturedFrames(id) >= kRate; }, 5s));
        ASSERT_EQ(Server("restart"), 0);
        ASSERT_TRUE(ends.WaitForCount(1, 5s)) << "the recording did not end with its device";
        EXPECT_EQ(ends.Entries()[0].reason, EndReason::Finished);
        EXPECT_EQ(ends.Entries()[0].serial, serial);
        EXPECT_FALSE(engine.IsCapturing(id));
        EXPECT_GE(engine.GetStats().captureLosses, 1u);
    }
    const std::uint64_t before = engine.CapturedFrames(id);
    EXPECT_GE(before, static_cast<std::uint64_t>(kRate));

    // The server is back: recording goes on at the end of what was kept.
    MicrophoneTone tone(880.0, 20.0);
    ASSERT_TRUE(tone.Started());
    ASSERT_TRUE(engine.StartCapture(id, ends.Handler()).ok());
    ASSERT_TRUE(WaitFor([&] { return engine.CapturedFrames(id) >= before + kRate; }, 5s));
    ASSERT_TRUE(engine.StopCapture(id).ok());
    ASSERT_TRUE(engine.SaveCapture(id, m_dir.file("both.wav")).ok());
    SoundFile sound = ReadSoundFile(m_dir.file("both.wav"));
    std::vector<Segment> segments = FindSegments(sound.samples, kRate);
    ASSERT_GE(segments.size(), 2u);
    EXPECT_NEAR(segments.front().frequency, 440.0, 2.0);
    EXPECT_NEAR(segments.back().frequency, 880.0, 2.0);
    EXPECT_GE(segments.back().Seconds(kRate), 0.9);
    EXPECT_EQ(ends.Entries().size(), 1u) << "a stop reports no end";
}

TEST_F(SoundEngineServerTest, AStalledServerNeverHoldsUpStopOrClose) {
    const pid_t server = ServerPid();
    ASSERT_GT(server, 0);
    std::optional<SoundEngine> engine(std::in_place);
    SourceId first = 0;
    SourceId second = 0;
    ASSERT_TRUE(engine->OpenCapture({kRate, 1, 8}, first).ok());
    ASSERT_TRUE(engine->OpenCapture({kRate, 1, 8}, second).ok());
    ASSERT_TRUE(engine->StartCapture(first, nullptr).ok());
    ASSERT_TRUE(engine->StartCapture(second, nullptr).ok());
    ASSERT_TRUE(WaitFor([&] { return engine->CapturedFrames(first) >= kRate / 2; }, 5s));

    // The input stops delivering: closing its device would hang inside libpulse. The stop and
    // the close must come back while the server is still stalled.
    ASSERT_EQ(::kill(server, SIGSTOP), 0);
    std::this_thread::sleep_for(300ms);
    std::atomic<bool> returned{false};
    std::thread closer([&] {
        EXPECT_TRUE(engine->StopCapture(first).ok());
        engine->CloseCapture(second);
        returned = true;
    });
    const bool inTime = WaitFor([&] { return returned.load(); }, 10s);
    const int alive = engine->GetStats().captureDevicesAlive;
    ::kill(server, SIGCONT);
    closer.join();
    EXPECT_TRUE(inTime) << "stop or close waited for the stalled server";
    EXPECT_EQ(alive, 2) << "both devices still closing while the server stalls";
    EXPECT_FALSE(engine->IsCapturing(first));

    // Once the server runs again the closes finish, and the engine goes as usual.
    EXPECT_TRUE(WaitFor([&] { return engine->GetStats().captureDevicesAlive == 0; }, 10s));
    ASSERT_TRUE(engine->SaveCapture(first, m_dir.file("kept.wav")).ok());
    EXPECT_GE(ReadSoundFile(m_dir.file("kept.wav")).Seconds(), 0.5) << "what came before the stall";
    engine.reset();
}

TEST_F(SoundEngineServerTest, ARecordingStartsOnceTheServerIsThereAfterTheEngine) {
    // The engine starts while no server answers: SDL settles on a fallback driver.
    ::setenv("PULSE_SERVER", "unix:/nonexistent/quillon/native", 1);
    SoundEngine engine;
    SourceId id = 0;
    ASSERT_TRUE(engine.OpenCapture({kRate, 1, 16}, id).ok());
    EngineStatus status = engine.StartCapture(id, nullptr);
    EXPECT_EQ(status.error, EngineError::NoInput) << status.message;
    ::unsetenv("PULSE_SERVER");

    MicrophoneTone tone(660.0, 20.0);
    ASSERT_TRUE(tone.Started());
    status = engine.StartCapture(id, nullptr);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(engine.GetStats().driver, "pulseaudio");
    ASSERT_TRUE(WaitFor([&] { return engine.CapturedFrames(id) >= kRate; }, 5s));
    ASSERT_TRUE(engine.StopCapture(id).ok());
    ASSERT_TRUE(engine.SaveCapture(id, m_dir.file("late.wav")).ok());
    EXPECT_NEAR(MedianFrequency(ReadSoundFile(m_dir.file("late.wav")).samples, kRate), 660.0, 2.0);
}
