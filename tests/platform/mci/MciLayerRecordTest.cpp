// Recording through the command layer, over an engine whose capture device reads a known
// signal from a file (SDL's "disk" driver): the recording commands, their notices and errors.
// The samples' way into the file is SoundEngineCaptureTest's business; here the format the
// commands set.

#include "platform/mci/MciLayer.h"

#include "platform/engine/SoundEngine.h"
#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/platform/mci/MciTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/NotifyRecorder.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {

// Reads a 1 kHz tone at about five times real time, so a recording's seconds pass quickly.
SoundEngine::Config DiskInput(const TempDir& dir, std::uint64_t maxBytes) {
    const std::string input = dir.file("in.raw");
    WriteWave(input, SineTone(1000.0, 20.0, 22050, 0.5), kDiskDriverFormat);
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILEIN", input.c_str(), 1);
    ::setenv("SDL_DISKAUDIODELAY", "5", 1);
    SoundEngine::Config config;
    config.maxCaptureBytes = maxBytes;
    config.probeTimeout = 3s;
    return config;
}

class MciLayerRecordTest : public ::testing::Test {
protected:
    explicit MciLayerRecordTest(std::uint64_t maxBytes = 0xFFFF0000ull)
        : m_engine(DiskInput(m_dir, maxBytes))
        , m_layer(m_engine, {})
        , m_mci(m_layer) {}

    MCIDEVICEID OpenRecording() {
        MCIDEVICEID id = 0;
        EXPECT_EQ(m_mci.Open(MCI_DEVTYPE_WAVEFORM_AUDIO, id, ""), 0u);
        return id;
    }
    // The recording's length in milliseconds.
    DWORD_PTR Length(MCIDEVICEID id) { return m_mci.StatusOf(id, MCI_STATUS_LENGTH); }

    TempDir m_dir;
    SoundEngine m_engine;
    MciLayer m_layer;
    MciCommands m_mci;
    NotifyRecorder m_window;
};
} // namespace

TEST_F(MciLayerRecordTest, RecordsStopsAndSavesInTheFormatSet) {
    MCIDEVICEID id = OpenRecording();
    ASSERT_EQ(m_mci.SetWaveFormat(id, 1, 22050, 16), 0u);
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Length(id), 0u);
    ASSERT_EQ(m_mci.Record(id, MCI_NOTIFY, &m_window), 0u);
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_MODE), MCI_MODE_RECORD);
    ASSERT_TRUE(WaitFor([&] { return Length(id) >= 1000; }, 5s));
    ASSERT_EQ(m_mci.Stop(id), 0u);
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    ExpectNotices(m_window, {{MCI_NOTIFY_ABORTED, id}});
    NotifyRecorder saved;
    const std::string path = m_dir.file("take.wav");
    ASSERT_EQ(m_mci.Save(id, path, MCI_SAVE_FILE | MCI_NOTIFY, &saved), 0u);
    ExpectNotices(saved, {{MCI_NOTIFY_SUCCESSFUL, id}});
    const DWORD_PTR length = Length(id);
    ASSERT_EQ(m_mci.Close(id), 0u);
    RiffFormat riff = ReadRiffFormat(path);
    EXPECT_EQ(riff.channels, 1);
    EXPECT_EQ(riff.samplesPerSecond, 22050u);
    EXPECT_EQ(riff.bitsPerSample, 16);
    EXPECT_NEAR(riff.dataBytes / 44.1, static_cast<double>(length), 1.0) << "the length told";

    // A new recording starts in the waveform default: 8-bit mono at 11025 Hz.
    id = OpenRecording();
    ASSERT_EQ(m_mci.Save(id, m_dir.file("empty.wav")), 0u);
    riff = ReadRiffFormat(m_dir.file("empty.wav"));
    EXPECT_EQ(riff.channels, 1);
    EXPECT_EQ(riff.samplesPerSecond, 11025u);
    EXPECT_EQ(riff.bitsPerSample, 8);
    EXPECT_EQ(riff.dataBytes, 0u);
    EXPECT_EQ(m_mci.Close(id), 0u);
}

TEST_F(MciLayerRecordTest, BadFormatsAndParametersAreRefusedAndChangeNothing) {
    MCIDEVICEID id = OpenRecording();
    MCI_WAVE_SET_PARMS set{};
    set.wFormatTag = 2; // ADPCM
    EXPECT_EQ(m_mci.SetWave(id, MCI_WAVE_SET_FORMATTAG, set), MCIERR_WAVE_NOT_PCM);
    EXPECT_EQ(m_mci.SetWaveFormat(id, 3, 22050, 16), MCIERR_WAVE_BAD_FORMAT);
    EXPECT_EQ(m_mci.SetWaveFormat(id, 1, 0xFFFFFFFF, 8), MCIERR_WAVE_BAD_FORMAT);
    // Block alignment and bytes a second must agree with the rest.
    set = {.wFormatTag = WAVE_FORMAT_PCM,
           .nChannels = 1,
           .nSamplesPerSec = 44100,
           .nAvgBytesPerSec = 88200,
           .nBlockAlign = 1,
           .wBitsPerSample = 16};
    EXPECT_EQ(m_mci.SetWave(id, 0x3F0000, set), MCIERR_WAVE_INCONSISTENT);
    set.nBlockAlign = 2;
    set.nAvgBytesPerSec = 44100;
    EXPECT_EQ(m_mci.SetWave(id, 0x3F0000, set), MCIERR_WAVE_INCONSISTENT);
    // Nothing was changed by the failures; fields given alone keep the others.
    set.nAvgBytesPerSec = 88200;
    ASSERT_EQ(m_mci.SetWave(id, 0x3F0000, set), 0u);
    set = MCI_WAVE_SET_PARMS{};
    set.nChannels = 2;
    ASSERT_EQ(m_mci.SetWave(id, MCI_WAVE_SET_CHANNELS, set), 0u);
    ASSERT_EQ(m_mci.Save(id, m_dir.file("x.wav")), 0u);
    RiffFormat riff = ReadRiffFormat(m_dir.file("x.wav"));
    EXPECT_EQ(riff.channels, 2);
    EXPECT_EQ(riff.samplesPerSecond, 44100u);
    EXPECT_EQ(riff.bitsPerSample, 16);
    EXPECT_EQ(riff.bytesPerSecond, 176400u);

    // Once sound arrived the format stays, and nothing saves while recording runs.
    ASSERT_EQ(m_mci.SetWaveFormat(id, 1, 22050, 8), 0u);
    ASSERT_EQ(m_mci.Record(id, 0), 0u);
    EXPECT_EQ(m_mci.Save(id, m_dir.file("y.wav")), MCIERR_RECORDING_RUNS);
    ASSERT_TRUE(WaitFor([&] { return Length(id) > 100; }, 5s));
    EXPECT_EQ(m_mci.Stop(id), 0u);
    EXPECT_EQ(m_mci.SetWaveFormat(id, 1, 44100, 16), MCIERR_FORMAT_FIXED);

    // Parameters that are missing or not offered.
    EXPECT_EQ(m_mci.Record(id, MCI_FROM), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(m_mci.Save(id, "", MCI_SAVE_FILE), MCIERR_MISSING_PARAMETER);
    EXPECT_EQ(m_mci.Save(id, m_dir.file("z.wav"), MCI_WAIT), MCIERR_MISSING_PARAMETER);
    EXPECT_EQ(m_layer.SendCommand(id, MCI_SAVE, MCI_SAVE_FILE, 0), MCIERR_NULL_PARAMETER_BLOCK);
    // A folder in the way of the file name (how a failed save keeps the old file:
    // SoundEngineCaptureTest).
    std::filesystem::create_directory(m_dir.file("taken.wav"));
    EXPECT_EQ(m_mci.Save(id, m_dir.file("taken.wav")), MCIERR_FILE_WRITE);
    EXPECT_EQ(m_mci.Close(id), 0u);
    EXPECT_EQ(m_window.Count(), 0u) << "a failed command posts no notice";
}

TEST_F(MciLayerRecordTest, EachRecordNoticeIsAnsweredOnce) {
    MCIDEVICEID id = OpenRecording();
    NotifyRecorder first;
    NotifyRecorder second;
    ASSERT_EQ(m_mci.Record(id, MCI_NOTIFY, &first), 0u);
    ASSERT_EQ(m_mci.Record(id, MCI_NOTIFY, &second), 0u) << "recording goes on";
    ExpectNotices(first, {{MCI_NOTIFY_SUPERSEDED, id}});
    ASSERT_EQ(m_mci.Record(id, 0), 0u) << "without notice: the pending one stays";
    EXPECT_EQ(second.Count(), 0u);
    ASSERT_EQ(m_mci.Close(id), 0u);
    ExpectNotices(second, {{MCI_NOTIFY_ABORTED, id}});

    // A stop with its own notice: the recording's is aborted, the stop's succeeds.
    id = OpenRecording();
    NotifyRecorder stop;
    ASSERT_EQ(m_mci.Record(id, MCI_NOTIFY, &m_window), 0u);
    ASSERT_EQ(m_mci.Stop(id, MCI_NOTIFY, &stop), 0u);
    ASSERT_EQ(m_mci.Close(id), 0u);
    ExpectNotices(m_window, {{MCI_NOTIFY_ABORTED, id}});
    ExpectNotices(stop, {{MCI_NOTIFY_SUCCESSFUL, id}});
}

TEST_F(MciLayerRecordTest, RecordWithWaitReturnsWhenStoppedElsewhere) {
    MCIDEVICEID id = OpenRecording();
    std::atomic<bool> stopping{false};
    std::thread stopper([&] {
        ASSERT_TRUE(WaitFor([&] { return Length(id) >= 500; }, 5s));
        stopping = true;
        EXPECT_EQ(m_mci.Stop(id), 0u);
    });
    EXPECT_EQ(m_mci.Record(id, MCI_WAIT), 0u);
    EXPECT_TRUE(stopping) << "returned before the stop";
    stopper.join();
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(m_mci.Close(id), 0u);
}

namespace {
class MciLayerRecordLimitTest : public MciLayerRecordTest {
protected:
    MciLayerRecordLimitTest()
        : MciLayerRecordTest(11025) {} // one second of the default format
};
} // namespace

TEST_F(MciLayerRecordLimitTest, ARecordingThatFillsUpEndsWithASuccessNotice) {
    MCIDEVICEID id = OpenRecording();
    ASSERT_EQ(m_mci.Record(id, MCI_NOTIFY, &m_window), 0u);
    ASSERT_TRUE(m_window.WaitForCount(1, 5s));
    EXPECT_EQ(m_mci.StatusOf(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Length(id), 1000u);
    EXPECT_EQ(m_mci.Stop(id), 0u);
    EXPECT_EQ(m_mci.Record(id, MCI_NOTIFY, &m_window), MCIERR_FILE_WRITE) << "full";
    ASSERT_EQ(m_mci.Save(id, m_dir.file("full.wav")), 0u);
    EXPECT_EQ(ReadRiffFormat(m_dir.file("full.wav")).dataBytes, 11025u);
    EXPECT_EQ(m_mci.Close(id), 0u);
    ExpectNotices(m_window, {{MCI_NOTIFY_SUCCESSFUL, id}});
}
