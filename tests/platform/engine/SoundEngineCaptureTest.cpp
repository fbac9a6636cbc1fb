// Capture through SDL's "disk" driver, which hands the capture device the frames of a raw file
// (SDL_DISKAUDIOFILEIN) at a pace we choose: every sample of a known signal can be followed
// through the microphone bus's gain, the spool on disk and the saved wave file.

#include "platform/engine/SoundEngine.h"

#include "platform/engine/FaderCurve.h"
#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {

// Tolerance of one quantisation step of the saved format (plus rounding on the way back).
float Step(int bits) {
    return bits == 8 ? 1.01f / 128.0f : 1.01f / 32768.0f;
}

class SoundEngineCaptureTest : public ::testing::Test {
protected:
    // An engine whose capture device reads `input` (raw stereo float at the capture's rate),
    // one buffer of 1024 frames every delayMs milliseconds (0: SDL's real-time pace).
    void MakeEngine(const std::string& input, int delayMs = 0, SoundEngine::Config config = {}) {
        m_engine.reset();
        UseSdlDriver("disk", m_dir.file("out.raw"));
        ::setenv("SDL_DISKAUDIOFILEIN", input.c_str(), 1);
        if (delayMs > 0) {
            ::setenv("SDL_DISKAUDIODELAY", std::to_string(delayMs).c_str(), 1);
        } else {
            ::unsetenv("SDL_DISKAUDIODELAY");
        }
        config.spoolFolder = m_spool.path();
        m_engine.emplace(config);
    }

    // Captures until at least `frames` arrived, stops and saves into path.
    void Record(SourceId id, std::uint64_t frames, const std::string& path) {
        EndLog ends;
        ASSERT_TRUE(m_engine->StartCapture(id, ends.Handler()).ok());
        ASSERT_TRUE(WaitFor([&] { return m_engine->CapturedFrames(id) >= frames; }, 10s));
        ASSERT_TRUE(m_engine->StopCapture(id).ok());
        EXPECT_FALSE(m_engine->IsCapturing(id));
        ASSERT_TRUE(m_engine->SaveCapture(id, path).ok());
        EXPECT_TRUE(ends.Entries().empty()) << "a stopped capture reports no end";
    }

    TempDir m_dir;
    TempDir m_spool;
    std::optional<SoundEngine> m_engine;
};

} // namespace

TEST_F(SoundEngineCaptureTest, EverySampleReachesTheSavedFileInEachFormatAtTheFadersGain) {
    struct Case {
        PcmFormat format;
        int sndfileFormat;
        std::uint16_t faderLeft;
        std::uint16_t faderRight;
    };
    // A mono recording takes the mean of the two sides after their faders.
    const Case cases[] = {
        {{22050, 1, 8}, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, kFaderMax, kFaderMax},
        {{44100, 1, 16}, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 32768, 16384},
        {{48000, 2, 16}, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 32768, 16384},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.format.rate) + " Hz, " +
                     std::to_string(c.format.bitsPerSample) + " bits, " +
                     std::to_string(c.format.channels) + " channels");
        const std::vector<float> tone = SineTone(1000.0, 3.0, c.format.rate, 0.5);
        WriteWave(m_dir.file("in.raw"), tone, kDiskDriverFormat);
        MakeEngine(m_dir.file("in.raw"), 5);
        m_engine->SetBusFader(Bus::Microphone, c.faderLeft, c.faderRight);
        m_engine->SetBusFader(Bus::Wave, 0, 0); // playback buses do not touch the capture
        SourceId id = 0;
        ASSERT_TRUE(m_engine->OpenCapture(c.format, id).ok());
        const std::string path = m_dir.file("take.wav");
        Record(id, static_cast<std::uint64_t>(c.format.rate), path);

        RiffFormat riff = ReadRiffFormat(path);
        ASSERT_TRUE(riff.valid);
        EXPECT_EQ(riff.formatTag, 1);
        EXPECT_EQ(riff.channels, c.format.channels);
        EXPECT_EQ(riff.samplesPerSecond, static_cast<std::uint32_t>(c.format.rate));
        EXPECT_EQ(riff.blockAlign, c.format.BlockAlign());
        EXPECT_EQ(riff.bytesPerSecond,
                  static_cast<std::uint32_t>(c.format.rate * c.format.BlockAlign()));
        EXPECT_EQ(riff.bitsPerSample, c.format.bitsPerSample);
        SoundFile sound = ReadSoundFile(path);
        EXPECT_EQ(sound.format, c.sndfileFormat);
        const std::size_t frames = sound.samples.size() / static_cast<std::size_t>(sound.channels);
        EXPECT_GE(frames, static_cast<std::size_t>(c.format.rate));
        EXPECT_EQ(frames, m_engine->CapturedFrames(id));
        EXPECT_EQ(riff.dataBytes, frames * static_cast<std::size_t>(c.format.BlockAlign()));
        // The input starts with the device: sample for sample, at the fader's gain.
        const float left = FaderToGain(c.faderLeft);
        const float right = FaderToGain(c.faderRight);
        for (int channel = 0; channel < sound.channels; ++channel) {
            const float gain = sound.channels == 1 ? 0.5f * (left + right)
                               : channel == 0      ? left
                                                   : right;
            std::vector<float> got = Channel(sound.samples, channel, sound.channels);
            for (std::size_t i = 0; i < got.size() && i < tone.size(); ++i) {
                ASSERT_NEAR(got[i], tone[i] * gain, Step(c.format.bitsPerSample)) << i;
            }
        }
    }
}

TEST_F(SoundEngineCaptureTest, StartAfterStopAppendsAndTheFormatIsFixedOnceSoundArrived) {
    const int rate = 22050;
    WriteWave(m_dir.file("in.raw"), SineTone(500.0, 10.0, rate, 0.5), kDiskDriverFormat);
    MakeEngine(m_dir.file("in.raw"), 5);
    SourceId id = 0;
    EXPECT_EQ(m_engine->OpenCapture({rate, 3, 16}, id).error, EngineError::Unsupported);
    EXPECT_EQ(m_engine->OpenCapture({rate, 1, 24}, id).error, EngineError::Unsupported);
    EXPECT_EQ(m_engine->OpenCapture({4000, 1, 8}, id).error, EngineError::Unsupported);
    EXPECT_EQ(id, 0u);
    ASSERT_TRUE(m_engine->OpenCapture({44100, 2, 8}, id).ok());
    ASSERT_TRUE(m_engine->SetCaptureFormat(id, {rate, 1, 16}).ok()) << "empty: may change";
    EXPECT_EQ(m_engine->CaptureFormat(id), (PcmFormat{rate, 1, 16}));

    EndLog ends;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    ASSERT_TRUE(m_engine->StartCapture(id, ends.Handler(), &first).ok());
    ASSERT_TRUE(m_engine->StartCapture(id, ends.Handler(), &second).ok()) << "goes on";
    EXPECT_NE(first, second);
    ASSERT_TRUE(WaitFor([&] { return m_engine->CapturedFrames(id) >= rate / 2; }, 5s));
    EXPECT_EQ(m_engine->SaveCapture(id, m_dir.file("x.wav")).error, EngineError::Busy);
    EXPECT_EQ(m_engine->SetCaptureFormat(id, {rate, 1, 8}).error, EngineError::Busy);
    ASSERT_TRUE(m_engine->StopCapture(id).ok());
    const std::uint64_t afterFirst = m_engine->CapturedFrames(id);
    EXPECT_EQ(m_engine->SetCaptureFormat(id, {rate, 1, 8}).error, EngineError::Busy)
        << "the recording holds sound";
    ASSERT_TRUE(m_engine->StartCapture(id, ends.Handler()).ok());
    ASSERT_TRUE(WaitFor([&] { return m_engine->CapturedFrames(id) >= afterFirst + rate / 2; }, 5s));
    ASSERT_TRUE(m_engine->StopCapture(id).ok());
    ASSERT_TRUE(m_engine->SaveCapture(id, m_dir.file("both.wav")).ok());
    SoundFile sound = ReadSoundFile(m_dir.file("both.wav"));
    EXPECT_EQ(sound.samples.size(), m_engine->CapturedFrames(id));
    EXPECT_GE(sound.samples.size(), afterFirst + rate / 2);
    // The device read on from where the first part ended: one continuous tone, no gap.
    std::vector<Segment> segments = FindSegments(sound.samples, rate);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_NEAR(segments[0].frequency, 500.0, 1.0);
    EXPECT_TRUE(ends.Entries().empty());

    m_engine->CloseCapture(id);
    EXPECT_FALSE(m_engine->IsCapturing(id));
    EXPECT_EQ(m_engine->StartCapture(id, nullptr).error, EngineError::InvalidSource);
    EXPECT_EQ(m_engine->SaveCapture(id, m_dir.file("y.wav")).error, EngineError::InvalidSource);
    EXPECT_TRUE(WaitFor([&] { return OpenFileSizesUnder(m_spool.path()).empty(); }, 2s))
        << "the spool went with the capture";
}

TEST_F(SoundEngineCaptureTest, AFailedSaveLeavesThePreviousFileAlone) {
    const int rate = 44100;
    WriteWave(m_dir.file("in.raw"), SineTone(1000.0, 2.0, rate, 0.5), kDiskDriverFormat);
    MakeEngine(m_dir.file("in.raw"), 5);
    SourceId id = 0;
    ASSERT_TRUE(m_engine->OpenCapture({rate, 1, 8}, id).ok());
    const std::string target = m_dir.file("take.wav");
    Record(id, rate, target);
    const Bytes good = ReadFileBytes(target);
    ASSERT_GT(good.size(), static_cast<std::size_t>(rate));

    // A folder that is a file: nothing can be made in it.
    WriteFileBytes(m_dir.file("plain"), {1, 2, 3});
    EngineStatus status = m_engine->SaveCapture(id, m_dir.file("plain/take.wav"));
    EXPECT_EQ(status.error, EngineError::WriteFailed);
    EXPECT_NE(status.message.find("plain"), std::string::npos) << status.message;

    // The disk fills up while the file is written (a file size limit works even for root).
    const Bytes previous = HexBytes("52494646 00 11 22 33");
    WriteFileBytes(target, previous);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16384;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    status = m_engine->SaveCapture(id, target);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(status.error, EngineError::WriteFailed);
    EXPECT_EQ(ReadFileBytes(target), previous) << "the previous file was touched";
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos)
            << "a temporary file stayed behind: " << entry.path();
        ++files;
    }
    EXPECT_EQ(files, 3u); // in.raw, plain, take.wav

    // With room again the same recording saves whole.
    ASSERT_TRUE(m_engine->SaveCapture(id, target).ok());
    EXPECT_EQ(ReadFileBytes(target), good);
}

TEST_F(SoundEngineCaptureTest, ALongRecordingWaitsOnDiskNotInMemory) {
    // 30 s of sound, delivered about five times faster than real time.
    const int rate = 44100;
    WriteWave(m_dir.file("in.raw"), SineTone(700.0, 31.0, rate, 0.5), kDiskDriverFormat);
    MakeEngine(m_dir.file("in.raw"), 5);
    SourceId id = 0;
    ASSERT_TRUE(m_engine->OpenCapture({rate, 1, 16}, id).ok());
    EndLog ends;
    ASSERT_TRUE(m_engine->StartCapture(id, ends.Handler()).ok());
    ASSERT_TRUE(WaitFor([&] { return m_engine->CapturedFrames(id) >= 2u * rate; }, 10s));
    // What the C heap hands out; nothing when a sanitizer's allocator hides it.
    const auto heapInUse = [] {
        const struct mallinfo2 info = mallinfo2();
        return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
    };
    const std::int64_t heapBefore = heapInUse();
    std::vector<std::int64_t> early = OpenFileSizesUnder(m_spool.path());
    ASSERT_TRUE(WaitFor([&] { return m_engine->CapturedFrames(id) >= 30u * rate; }, 30s));
    std::vector<std::int64_t> late = OpenFileSizesUnder(m_spool.path());
    const std::int64_t heapAfter = heapInUse();
    ASSERT_TRUE(m_engine->StopCapture(id).ok());

    ASSERT_EQ(early.size(), 1u) << "one spool file, open but without a name";
    ASSERT_EQ(late.size(), 1u);
    EXPECT_GT(late[0] - early[0], 25 * rate * 2) << "28 s of 16-bit mono went to the spool";
    if (heapBefore > 0) {
        // 28 s of sound is 2.4 MB even as 16-bit mono; the heap must not grow with it.
        EXPECT_LT(heapAfter - heapBefore, 256 * 1024)
            << "heap grew from " << heapBefore << " to " << heapAfter;
    }
    EXPECT_EQ(m_engine->GetStats().captureOverruns, 0u);
    ASSERT_TRUE(m_engine->SaveCapture(id, m_dir.file("long.wav")).ok());
    SoundFile sound = ReadSoundFile(m_dir.file("long.wav"));
    EXPECT_EQ(sound.samples.size(), m_engine->CapturedFrames(id));
    EXPECT_NEAR(MedianFrequency(sound.samples, rate), 700.0, 0.5);
    EXPECT_TRUE(ends.Entries().empty());
}

TEST_F(SoundEngineCaptureTest, WithoutAnInputDeviceStartFailsWithTheDevicesAnswer) {
    SoundEngine::Config config;
    config.probeTimeout = 60s; // the answer, not the wait's end
    MakeEngine(m_dir.file("missing.raw"), 0, config);
    SourceId id = 0;
    ASSERT_TRUE(m_engine->OpenCapture({44100, 1, 16}, id).ok());
    EngineStatus status = m_engine->StartCapture(id, nullptr);
    EXPECT_EQ(status.error, EngineError::NoInput);
    EXPECT_NE(status.message, "The sound input did not answer");
    EXPECT_FALSE(m_engine->IsCapturing(id));
    EXPECT_TRUE(m_engine->StopCapture(id).ok());

    // A spool folder that does not exist fails at open, with the folder in the text.
    SoundEngine::Config elsewhere;
    elsewhere.spoolFolder = m_dir.file("nowhere");
    SoundEngine engine(elsewhere);
    EngineStatus open = engine.OpenCapture({44100, 1, 16}, id);
    EXPECT_EQ(open.error, EngineError::WriteFailed);
    EXPECT_NE(open.message.find("nowhere"), std::string::npos);
}

TEST_F(SoundEngineCaptureTest, CapturesStartStopSaveAndCloseFromSeveralThreads) {
    const int rate = 22050;
    WriteWave(m_dir.file("in.raw"), SineTone(500.0, 60.0, rate, 0.5), kDiskDriverFormat);
    MakeEngine(m_dir.file("in.raw"), 2);
    std::atomic<bool> running{true};
    std::thread fader([&] {
        std::uint16_t level = 0;
        while (running) {
            m_engine->SetBusFader(Bus::Microphone, level, static_cast<std::uint16_t>(~level));
            level = static_cast<std::uint16_t>(level + 977);
            std::this_thread::sleep_for(1ms);
        }
    });
    auto worker = [&](unsigned seed) {
        std::mt19937 random(seed);
        for (int round = 0; round < 6; ++round) {
            SourceId id = 0;
            ASSERT_TRUE(
                m_engine->OpenCapture({rate, 1 + static_cast<int>(random() % 2), 16}, id).ok());
            EndLog ends;
            EngineStatus status = m_engine->StartCapture(id, ends.Handler());
            // SDL's disk driver reads one input file: a second device at the same time may
            // find it taken, which is a clean failure too.
            if (status.ok()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 80));
                EXPECT_TRUE(m_engine->StopCapture(id).ok());
                const std::string path =
                    m_dir.file("t" + std::to_string(seed) + "-" + std::to_string(round) + ".wav");
                ASSERT_TRUE(m_engine->SaveCapture(id, path).ok());
                EXPECT_TRUE(ReadRiffFormat(path).valid);
            } else {
                EXPECT_EQ(status.error, EngineError::NoInput) << status.message;
            }
            if (random() % 2 == 0) {
                m_engine->StartCapture(id, ends.Handler());
            }
            m_engine->CloseCapture(id); // capturing or not
            EXPECT_TRUE(ends.Entries().empty());
        }
    };
    std::thread a(worker, 1u);
    std::thread b(worker, 2u);
    a.join();
    b.join();
    running = false;
    fader.join();
    EXPECT_TRUE(WaitFor([&] { return m_engine->GetStats().captureDevicesAlive == 0; }, 5s));
    EXPECT_TRUE(OpenFileSizesUnder(m_spool.path()).empty());
}
