// Capture from the private sound server's microphone while the server goes away: a restart
// ends the recording cleanly and a new start appends once the server is back; a server that
// stalls never holds up the engine's callers.

#include "platform/engine/SoundEngine.h"

#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/RecordingSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
constexpr int kRate = 44100;

// The PID of the private PulseAudio server (scripts/sound-server keeps it there).
pid_t ServerPid() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::ifstream in(std::string(runtime != nullptr ? runtime : "") + "/quillon-pulse.pid");
    pid_t pid = 0;
    in >> pid;
    return pid;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

class SoundEngineCaptureSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (m_server.empty()) {
            GTEST_SKIP() << "QUILLON_SOUND_SERVER is not set (run under scripts/test)";
        }
        ::unsetenv("SDL_AUDIODRIVER");
    }
    const std::string m_server = SoundServerScript();
};
} // namespace

TEST_F(SoundEngineCaptureSoundTest, AServerRestartEndsTheRecordingAndANewStartAppends) {
    TempDir dir;
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

        auto restart = std::chrono::steady_clock::now();
        ASSERT_EQ(std::system((m_server + " restart").c_str()), 0);
        ASSERT_TRUE(ends.WaitForCount(1, 5s)) << "the recording did not end with its device";
        auto ended = ends.Entries()[0];
        EXPECT_EQ(ended.reason, EndReason::Finished);
        EXPECT_EQ(ended.serial, serial);
        EXPECT_LT(Milliseconds(ended.when - restart), 2500.0);
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
    ASSERT_TRUE(engine.SaveCapture(id, dir.file("both.wav")).ok());
    SoundFile sound = ReadSoundFile(dir.file("both.wav"));
    std::vector<Segment> segments = FindSegments(sound.samples, kRate);
    ASSERT_GE(segments.size(), 2u);
    EXPECT_NEAR(segments.front().frequency, 440.0, 2.0);
    EXPECT_NEAR(segments.back().frequency, 880.0, 2.0);
    EXPECT_GE(segments.back().Seconds(kRate), 0.9);
    EXPECT_EQ(ends.Entries().size(), 1u) << "a stop reports no end";
}

TEST_F(SoundEngineCaptureSoundTest, AStalledServerNeverHoldsUpStopOrClose) {
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

    // The input stops delivering: closing its device would hang inside libpulse.
    ASSERT_EQ(::kill(server, SIGSTOP), 0);
    std::this_thread::sleep_for(300ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine->StopCapture(first).ok());
    engine->CloseCapture(second);
    const double took = Milliseconds(std::chrono::steady_clock::now() - start);
    const int alive = engine->GetStats().captureDevicesAlive;
    ::kill(server, SIGCONT);
    EXPECT_LT(took, 200.0);
    EXPECT_EQ(alive, 2) << "both devices still closing while the server stalls";
    EXPECT_FALSE(engine->IsCapturing(first));

    // Once the server runs again the closes finish, and the engine goes as usual.
    EXPECT_TRUE(WaitFor([&] { return engine->GetStats().captureDevicesAlive == 0; }, 10s));
    TempDir dir;
    ASSERT_TRUE(engine->SaveCapture(first, dir.file("kept.wav")).ok());
    EXPECT_GE(ReadSoundFile(dir.file("kept.wav")).Seconds(), 0.5) << "what came before the stall";
    start = std::chrono::steady_clock::now();
    engine.reset();
    EXPECT_LT(Milliseconds(std::chrono::steady_clock::now() - start), 1000.0);
}

TEST_F(SoundEngineCaptureSoundTest, ARecordingStartsOnceTheServerIsThereAfterTheEngine) {
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
    TempDir dir;
    ASSERT_TRUE(engine.SaveCapture(id, dir.file("late.wav")).ok());
    SoundFile sound = ReadSoundFile(dir.file("late.wav"));
    EXPECT_NEAR(MedianFrequency(sound.samples, kRate), 660.0, 2.0);
}
