// The recorder over the real command layer and engine, recording a tone spoken into the
// private sound server's microphone: the saved working file is checked as a user would get it.
// Each quality's commands are MoxRecorderTest's; each format's samples and the microphone
// fader's gain are SoundEngineCaptureTest's.

#include "audio/MoxRecorder.h"

#include "platform/engine/SoundEngine.h"
#include "platform/mci/MciLayer.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/NotifyRecorder.h"
#include "tests/support/audio/RecordingSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {

SoundEngine::Config SpoolIn(const std::string& folder) {
    ::unsetenv("SDL_AUDIODRIVER");
    SoundEngine::Config config;
    config.spoolFolder = folder;
    return config;
}

class MoxRecorderSoundTest : public ::testing::Test {
protected:
    MoxRecorderSoundTest()
        : m_engine(SpoolIn(m_spool.path()))
        , m_layer(m_engine, {}) {
        std::filesystem::create_directories(m_dir.file("Wave Files"));
    }

    void SetUp() override {
        if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
            GTEST_SKIP() << "no sound server: run under scripts/test";
        }
    }

    MoxDeviceEnvironment Environment() { return {&m_layer, &m_dataFolder, &m_notify}; }
    std::string Working() { return m_dir.file("Wave Files/~quilon.wa~"); }
    /// Waits until the recording's one spool file holds at least bytes.
    bool SpoolHolds(std::int64_t bytes) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            const std::vector<std::int64_t> sizes = OpenFileSizesUnder(m_spool.path());
            if (sizes.size() == 1 && sizes[0] >= bytes) {
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
    }

    TempDir m_dir;
    TempDir m_spool;
    std::string m_dataFolder = m_dir.path();
    SoundEngine m_engine;
    MciLayer m_layer;
    NotifyRecorder m_window;
    std::atomic<HWND> m_notify{&m_window};
    DWORD m_quality = 1;
};

const double kToneDb = 20.0 * std::log10(0.5 / std::sqrt(2.0)); // a sine of peak 0.5

} // namespace

// The recording is as long as the sound that came (the spool holds 16-bit samples), no longer
// than the time it ran, and holds the tone at its level. A save that fails when the disk fills
// up leaves the previous recording whole, and nothing behind.
TEST_F(MoxRecorderSoundTest, RecordsTheMicrophoneAndAFailedSaveKeepsThePreviousRecording) {
    MicrophoneTone tone(1000.0, 30.0);
    ASSERT_TRUE(tone.Started()) << "the tone does not reach the microphone";
    m_quality = 2;
    MoxRecorder recorder(Environment(), m_quality);
    const auto started = std::chrono::steady_clock::now();
    recorder.Record();
    ASSERT_TRUE(recorder.IsRecording()) << recorder.LastError();
    ASSERT_TRUE(SpoolHolds(2 * 44100 * 3 / 2)) << "a second and a half of sound";
    recorder.Stop();
    const std::chrono::duration<double> ran = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(m_window.WaitForCount(1, 5s));
    EXPECT_EQ(m_window.Messages()[0].wParam, MCI_NOTIFY_ABORTED) << "the stop aborted it";

    RiffFormat riff = ReadRiffFormat(Working());
    ASSERT_TRUE(riff.valid);
    EXPECT_EQ(riff.channels, 1);
    EXPECT_EQ(riff.samplesPerSecond, 44100u);
    EXPECT_EQ(riff.bitsPerSample, 16);
    SoundFile sound = ReadSoundFile(Working());
    EXPECT_GE(sound.Seconds(), 1.5);
    EXPECT_LE(sound.Seconds(), ran.count() + 0.25);
    // Leave out the first 100 ms: the tone is steady after it.
    std::vector<float> middle = Slice(sound.samples, 4410, 44100);
    EXPECT_NEAR(MedianFrequency(middle, 44100), 1000.0, 2.0);
    EXPECT_NEAR(RmsDb(middle), kToneDb, 0.5);
    const Bytes previous = ReadFileBytes(Working());

    // Files cannot grow past 4 KB while the next recording is saved (works for root too; the
    // signal that would end the process is ignored).
    recorder.Record();
    ASSERT_TRUE(SpoolHolds(44100));
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    recorder.Stop();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(ReadFileBytes(Working()), previous) << "the previous recording was damaged";
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.file("Wave Files"))) {
        EXPECT_EQ(entry.path().filename(), "~quilon.wa~") << "left behind: " << entry.path();
    }
}
