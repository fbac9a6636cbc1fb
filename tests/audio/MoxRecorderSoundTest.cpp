// The recorder over the real command layer and engine, recording a tone spoken into the
// private sound server's microphone: the saved working file is checked as a user would get it.

#include "audio/MoxRecorder.h"

#include "platform/engine/FaderCurve.h"
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

// Passes every command on to the layer and keeps the result of the latest MCI_SAVE, which
// the recorder itself does not look at.
class SaveResultTap final : public MciPort {
public:
    explicit SaveResultTap(MciPort& layer)
        : m_layer(layer) {}
    MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                         DWORD_PTR param) override {
        MCIERROR result = m_layer.SendCommand(device, message, flags, param);
        if (message == MCI_SAVE) {
            lastSave = result;
        }
        return result;
    }
    BOOL GetErrorString(MCIERROR error, char* text, UINT length) override {
        return m_layer.GetErrorString(error, text, length);
    }
    bool IsDeviceOpen(MCIDEVICEID device) override { return m_layer.IsDeviceOpen(device); }

    MCIERROR lastSave = 0xFFFFFFFF;

private:
    MciPort& m_layer;
};

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
        , m_layer(m_engine, {})
        , m_tap(m_layer) {
        std::filesystem::create_directories(m_dir.file("Wave Files"));
    }

    void SetUp() override {
        if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
            GTEST_SKIP() << "no sound server: run under scripts/test";
        }
    }

    MoxDeviceEnvironment Environment() { return {&m_tap, &m_dataFolder, &m_notify}; }
    std::string Working() { return m_dir.file("Wave Files/~quilon.wa~"); }

    TempDir m_dir;
    TempDir m_spool;
    std::string m_dataFolder = m_dir.path();
    SoundEngine m_engine;
    MciLayer m_layer;
    SaveResultTap m_tap;
    NotifyRecorder m_window;
    std::atomic<HWND> m_notify{&m_window};
    DWORD m_quality = 1;
};

const double kToneDb = 20.0 * std::log10(0.5 / std::sqrt(2.0)); // a sine of peak 0.5

} // namespace

TEST_F(MoxRecorderSoundTest, RecordsTwoSecondsOfTheMicrophoneAtEachQuality) {
    MicrophoneTone tone(1000.0, 30.0);
    ASSERT_TRUE(tone.Started()) << "the tone does not reach the microphone";
    MoxRecorder recorder(Environment(), m_quality);

    struct Case {
        DWORD quality;
        int rate;
        int sndfileFormat;
    };
    for (Case c : {Case{0, 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
                   Case{1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
                   Case{2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16}}) {
        SCOPED_TRACE(c.quality);
        m_quality = c.quality;
        m_window.Clear();
        recorder.Record();
        ASSERT_TRUE(recorder.IsRecording()) << recorder.LastError();
        std::this_thread::sleep_for(1s);
        std::vector<std::int64_t> halfway = OpenFileSizesUnder(m_spool.path());
        std::this_thread::sleep_for(1s);
        std::vector<std::int64_t> late = OpenFileSizesUnder(m_spool.path());
        recorder.Stop();
        EXPECT_EQ(m_tap.lastSave, 0u);
        ASSERT_EQ(halfway.size(), 1u) << "the recording waits in one spool file";
        ASSERT_EQ(late.size(), 1u);
        EXPECT_GT(late[0] - halfway[0], c.rate) << "it grows as the sound comes";

        RiffFormat riff = ReadRiffFormat(Working());
        ASSERT_TRUE(riff.valid);
        EXPECT_EQ(riff.formatTag, 1);
        EXPECT_EQ(riff.channels, 1);
        EXPECT_EQ(riff.samplesPerSecond, static_cast<std::uint32_t>(c.rate));
        SoundFile sound = ReadSoundFile(Working());
        EXPECT_EQ(sound.format, c.sndfileFormat);
        EXPECT_NEAR(sound.Seconds(), 2.0, 0.25);
        // Leave out the first and last 100 ms: the tone is steady in between.
        std::vector<float> middle = Slice(sound.samples, static_cast<std::size_t>(c.rate / 10),
                                          static_cast<std::size_t>(c.rate * 3 / 2));
        EXPECT_NEAR(MedianFrequency(middle, c.rate), 1000.0, 2.0);
        EXPECT_NEAR(RmsDb(middle), kToneDb, 0.5);
        // The stop aborted the recording's notice: one notice for one request.
        ASSERT_TRUE(m_window.WaitForCount(1, 1s));
        EXPECT_EQ(m_window.Messages()[0].wParam, MCI_NOTIFY_ABORTED);
    }
    EXPECT_EQ(recorder.LastError(), "");
    EXPECT_EQ(m_window.Count(), 1u);
}

TEST_F(MoxRecorderSoundTest, TheMicrophoneFaderLowersTheRecording) {
    MicrophoneTone tone(1000.0, 30.0);
    ASSERT_TRUE(tone.Started());
    m_quality = 2;
    MoxRecorder recorder(Environment(), m_quality);
    double levels[2] = {};
    const std::uint16_t faders[2] = {65535, 32768};
    for (int i = 0; i < 2; ++i) {
        m_engine.SetBusFader(Bus::Microphone, faders[i], faders[i]);
        recorder.Record();
        std::this_thread::sleep_for(1200ms);
        recorder.Stop();
        SoundFile sound = ReadSoundFile(Working());
        levels[i] = RmsDb(Slice(sound.samples, 4410, 44100));
    }
    EXPECT_NEAR(levels[0], kToneDb, 0.5);
    // Half travel: 10 dB down, the curve of every bus (FaderToDecibels).
    EXPECT_NEAR(levels[1] - levels[0], FaderToDecibels(32768), 0.3);
    EXPECT_NEAR(levels[1] - levels[0], -10.0, 0.3);
}

TEST_F(MoxRecorderSoundTest, ASaveThatFailsKeepsThePreviousWorkingFile) {
    MicrophoneTone tone(1000.0, 30.0);
    ASSERT_TRUE(tone.Started());
    MoxRecorder recorder(Environment(), m_quality);
    recorder.Record();
    std::this_thread::sleep_for(500ms);
    recorder.Stop();
    ASSERT_EQ(m_tap.lastSave, 0u);
    const Bytes previous = ReadFileBytes(Working());
    ASSERT_GT(previous.size(), 15000u);

    // The disk "fills up" while the next recording is saved: files cannot grow past 4 KB
    // (works for root too; the signal that would end the process is ignored).
    recorder.Record();
    std::this_thread::sleep_for(1s);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    recorder.Stop();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(m_tap.lastSave, MCIERR_FILE_WRITE) << "the command layer reports it";
    EXPECT_EQ(recorder.LastError(), "") << "the recorder ignores the save's result";
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(ReadFileBytes(Working()), previous) << "the previous recording was damaged";
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.file("Wave Files"))) {
        EXPECT_EQ(entry.path().filename(), "~quilon.wa~") << "left behind: " << entry.path();
    }
}
