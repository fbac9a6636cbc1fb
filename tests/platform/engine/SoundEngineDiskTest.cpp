// The engine's output taken sample by sample from SDL's "disk" driver: bus gains, exact
// lengths, end reports, failures while playing and bad files.

#include "platform/engine/SoundEngine.h"

#include "platform/engine/FaderCurve.h"
#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
constexpr int kRate = 44100;
const std::string kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

// Index of the first frame from `from` on where either channel is not exactly zero.
std::size_t FirstSound(const std::vector<float>& stereo, std::size_t from = 0) {
    for (std::size_t i = 2 * from; i < stereo.size(); ++i) {
        if (stereo[i] != 0.0f) {
            return i / 2;
        }
    }
    return stereo.size() / 2;
}

std::size_t LastSound(const std::vector<float>& stereo) {
    for (std::size_t i = stereo.size(); i > 0; --i) {
        if (stereo[i - 1] != 0.0f) {
            return (i - 1) / 2 + 1;
        }
    }
    return 0;
}

// The left channel of a CD image's samples from firstFrame on, as floats.
std::vector<float> BinLeft(const CdImage& image, std::size_t firstFrame = 0) {
    const Bytes bin = ReadFileBytes(image.binPath);
    std::vector<float> left;
    for (std::size_t at = firstFrame * 4; at + 4 <= bin.size(); at += 4) {
        left.push_back(static_cast<float>(static_cast<std::int16_t>(bin[at] | (bin[at + 1] << 8))) /
                       32768.0f);
    }
    return left;
}

class SoundEngineDiskTest : public ::testing::Test {
protected:
    void SetUp() override { MakeEngine({}); }
    void MakeEngine(SoundEngine::Config config) {
        m_engine.reset();
        UseSdlDriver("disk", m_output);
        config.linger = 60s;        // one device for the whole test: the disk file is written once
        config.int16Output = false; // the mix as it is, to compare sample by sample
        m_engine.emplace(config);
    }

    // Closes the device and returns everything it was given.
    std::vector<float> Finish() {
        m_engine.reset();
        return ReadSoundFile(m_output, kDiskDriverFormat).samples;
    }

    TempDir m_dir;
    const std::string m_output = m_dir.file("out.raw");
    std::optional<SoundEngine> m_engine;
};
} // namespace

TEST_F(SoundEngineDiskTest, PlaysEverySampleOnceAtTheBusGainFromTheStartOrTheFrameAsked) {
    // Different content on each side, no zero sample anywhere.
    const std::string path = m_dir.file("tone.wav");
    const std::vector<float> left = SineTone(441.0, 0.3, kRate, 0.6);
    const std::vector<float> right = SineTone(882.0, 0.3, kRate, 0.3);
    std::vector<float> frames;
    for (std::size_t i = 0; i < left.size(); ++i) {
        frames.insert(frames.end(), {0.1f + left[i], -0.1f + right[i]});
    }
    SF_INFO info{0, kRate, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_writef_float(file, frames.data(), static_cast<sf_count_t>(left.size()));
    sf_close(file);
    const std::vector<float> expected = ReadSoundFile(path).samples;
    const std::size_t length = expected.size() / 2;
    constexpr std::size_t kSeek = 12345;

    m_engine->SetBusFader(Bus::Wave, 40000, 20000);
    EndLog ends;
    SourceId id = 0;
    ASSERT_TRUE(m_engine->OpenWave(path, id).ok());
    EXPECT_EQ(m_engine->Length(id), length);
    std::uint64_t serial = 0;
    ASSERT_TRUE(m_engine->Play(id, ends.Handler(), &serial).ok());
    ASSERT_TRUE(ends.WaitForCount(1, 5s));
    EXPECT_EQ(m_engine->Position(id), length);
    EXPECT_EQ(m_engine->Seek(id, length + 1).error, EngineError::OutOfRange);
    ASSERT_TRUE(m_engine->Seek(id, kSeek).ok());
    EXPECT_EQ(m_engine->Position(id), kSeek);
    ASSERT_TRUE(m_engine->Play(id, ends.Handler()).ok());
    ASSERT_TRUE(ends.WaitForCount(2, 5s));
    std::vector<float> out = Finish();

    const std::size_t first = FirstSound(out);
    const std::size_t again = FirstSound(out, first + length);
    ASSERT_EQ(LastSound(out) - again, length - kSeek) << "not sample-exact in length";
    for (std::size_t i = 0; i < length; ++i) {
        ASSERT_NEAR(out[(first + i) * 2], expected[i * 2] * FaderToGain(40000), 1e-6) << i;
        ASSERT_NEAR(out[(first + i) * 2 + 1], expected[i * 2 + 1] * FaderToGain(20000), 1e-6) << i;
    }
    for (std::size_t i = kSeek; i < length; ++i) {
        ASSERT_NEAR(out[(again + i - kSeek) * 2], expected[i * 2] * FaderToGain(40000), 1e-6) << i;
    }
    const auto entries = ends.Entries();
    EXPECT_EQ(entries[0].id, id);
    EXPECT_EQ(entries[0].serial, serial);
    EXPECT_EQ(entries[0].reason, EndReason::Finished);
}

TEST_F(SoundEngineDiskTest, EachBusHasItsOwnGainAndBothCdReadersGiveTheImagesSamples) {
    // A MIDI file on a muted synthesizer bus and the second CD track at -10 dB play together
    // with nothing else: the output is the track's samples times that gain, and not a trace of
    // MIDI. Images are read directly; the reader used for real drives must give the same.
    SmfWriter song;
    song.Program(0, 0);
    song.Note(0.0, 0.4, 60, 120);
    WriteFileBytes(m_dir.file("song.mid"), song.Bytes());
    CdImage image = WriteCdImage(m_dir.path(), "disc", {{440.0, 0.2}, {1000.0, 0.3}});
    const std::vector<float> track =
        BinLeft(image, static_cast<std::size_t>(image.trackStart[1]) * 588);
    for (CdReadMode mode : {CdReadMode::Auto, CdReadMode::Paranoia}) {
        SCOPED_TRACE(mode == CdReadMode::Auto ? "direct" : "paranoia");
        SoundEngine::Config config;
        config.cdReadMode = mode;
        MakeEngine(config);
        m_engine->SetBusFader(Bus::Synth, 0, 0);
        m_engine->SetBusFader(Bus::Cd, 32768, 32768);
        SourceId midi = 0;
        SourceId cd = 0;
        ASSERT_TRUE(m_engine->OpenMidi(m_dir.file("song.mid"), kSoundFont, midi).ok());
        ASSERT_TRUE(m_engine->OpenCd(image.cuePath, image.trackStart[1], image.leadout, cd).ok());
        EndLog ends;
        ASSERT_TRUE(m_engine->Play(midi, ends.Handler()).ok());
        ASSERT_TRUE(m_engine->Play(cd, ends.Handler()).ok());
        ASSERT_TRUE(ends.WaitForCount(2, 5s));
        for (const EndLog::Entry& end : ends.Entries()) {
            EXPECT_EQ(end.reason, EndReason::Finished);
        }
        std::vector<float> out = Finish();

        // The tone starts at a zero crossing: its first sample is silent.
        const std::size_t first = FirstSound(out) - 1;
        const float gain = FaderToGain(32768);
        for (std::size_t i = 0; i < track.size(); ++i) {
            ASSERT_NEAR(out[(first + i) * 2], track[i] * gain, 1e-6) << i;
        }
        // The track's last sector is padded with silence after the tone.
        EXPECT_EQ(LastSound(out) - first, static_cast<std::size_t>(0.3 * kRate));
    }
}

TEST_F(SoundEngineDiskTest, StopCancelsTheEndAndPlayResumesOrRestarts) {
    WriteToneWave(m_dir.file("tone.wav"), 500.0, 0.6);
    SourceId id = 0;
    ASSERT_TRUE(m_engine->OpenWave(m_dir.file("tone.wav"), id).ok());
    EndLog ends;
    ASSERT_TRUE(m_engine->Play(id, ends.Handler()).ok());
    ASSERT_TRUE(WaitFor([&] { return m_engine->Position(id) > 0; }, 5s));
    ASSERT_TRUE(m_engine->Stop(id).ok());
    EXPECT_FALSE(m_engine->IsPlaying(id));
    std::this_thread::sleep_for(500ms); // a pause to find in the output

    // Play again: it goes on from where it stopped, and the only end is this play's.
    std::uint64_t serial = 0;
    ASSERT_TRUE(m_engine->Play(id, ends.Handler(), &serial).ok());
    ASSERT_TRUE(ends.WaitForCount(1, 5s));
    EXPECT_EQ(ends.Entries()[0].serial, serial) << "the stopped play reported an end";
    EXPECT_EQ(m_engine->Position(id), m_engine->Length(id));
    // Play after the end: from the start again.
    ASSERT_TRUE(m_engine->Play(id, ends.Handler()).ok());
    EXPECT_LT(m_engine->Position(id), m_engine->Length(id));
    ASSERT_TRUE(ends.WaitForCount(2, 5s));
    m_engine->Close(id);
    EXPECT_FALSE(m_engine->IsOpen(id));
    EXPECT_FALSE(m_engine->Play(id, ends.Handler()).ok());

    // In all, the tone sounded once in full with a pause where it stopped, and once more;
    // the engine is gone, so every report that was to come has come.
    std::vector<float> out = Finish();
    EXPECT_EQ(ends.Entries().size(), 2u);
    std::vector<Segment> parts = FindSegments(Channel(out, 0), kRate);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_NEAR(parts[0].Seconds(kRate) + parts[1].Seconds(kRate), 0.6, 0.002);
    EXPECT_NEAR(parts[2].Seconds(kRate), 0.6, 0.002);
    EXPECT_GT(parts[1].Start(kRate) - parts[0].End(kRate), 0.2);
}

TEST_F(SoundEngineDiskTest, ACueFollowsAtItsOwnFaderAndStoppingWhatItFollowsDisarmsIt) {
    // Steady levels: every sample says which item it is.
    WriteWave(m_dir.file("a.wav"), std::vector<float>(13230, 0.5f),
              {kRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT});
    WriteWave(m_dir.file("b.wav"), std::vector<float>(8820, -0.5f),
              {kRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT});
    std::mutex mutex;
    std::vector<std::pair<Bus, BusFader>> applied;
    SoundEngine::Config config;
    config.cueFaderApplied = [&](Bus bus, BusFader fader) {
        std::lock_guard lock(mutex);
        applied.emplace_back(bus, fader);
    };
    MakeEngine(config);
    SourceId a = 0;
    SourceId b = 0;
    ASSERT_TRUE(m_engine->OpenWave(m_dir.file("a.wav"), a).ok());
    ASSERT_TRUE(m_engine->OpenWave(m_dir.file("b.wav"), b).ok());
    EndLog ends;
    ASSERT_TRUE(m_engine->Play(a, ends.Handler()).ok());
    m_engine->SetBusFaderAtCue(Bus::Wave, 32768, 32768);
    EXPECT_EQ(m_engine->GetBusFader(Bus::Wave), (BusFader{65535, 65535})) << "not in effect yet";
    ASSERT_TRUE(m_engine->PlayAfter(b, a, ends.Handler()).ok());
    ASSERT_TRUE(ends.WaitForCount(2, 5s));
    EXPECT_EQ(m_engine->GetBusFader(Bus::Wave), (BusFader{32768, 32768}));
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(applied.size(), 1u);
        EXPECT_EQ(applied[0].first, Bus::Wave);
    }

    // Stopped before its end, what a cue follows takes the cue with it.
    SourceId again = 0;
    SourceId cued = 0;
    ASSERT_TRUE(m_engine->OpenWave(m_dir.file("a.wav"), again).ok());
    ASSERT_TRUE(m_engine->OpenWave(m_dir.file("b.wav"), cued).ok());
    ASSERT_TRUE(m_engine->Play(again, ends.Handler()).ok());
    ASSERT_TRUE(m_engine->PlayAfter(cued, again, ends.Handler()).ok());
    ASSERT_TRUE(WaitFor([&] { return m_engine->Position(again) > 0; }, 5s));
    ASSERT_TRUE(m_engine->Stop(again).ok());
    ASSERT_TRUE(ends.WaitForCount(3, 5s));
    EXPECT_EQ(ends.Entries()[2].id, cued);
    EXPECT_EQ(ends.Entries()[2].reason, EndReason::Disarmed);
    EXPECT_FALSE(m_engine->IsPlaying(cued));

    const std::vector<float> out = Finish();
    const std::size_t first = FirstSound(out);
    const float cue = -0.5f * FaderToGain(32768);
    for (std::size_t i = 0; i < 13230 + 8820; ++i) {
        ASSERT_EQ(out[(first + i) * 2], i < 13230 ? 0.5f : cue) << i;
    }
    EXPECT_EQ(out[(first + 13230 + 8820) * 2], 0.0f);
    EXPECT_EQ(std::count(out.begin(), out.end(), cue), 2 * 8820)
        << "the disarmed cue never sounded";
}

TEST_F(SoundEngineDiskTest, WaveAndCdImageCutShortWhilePlayingEndInFailure) {
    const std::string wave = m_dir.file("long.wav");
    WriteToneWave(wave, 440.0, 5.0);
    CdImage image = WriteCdImage(m_dir.path(), "disc", {{440.0, 8.0}});
    SourceId waveId = 0;
    SourceId cdId = 0;
    ASSERT_TRUE(m_engine->OpenWave(wave, waveId).ok());
    ASSERT_TRUE(m_engine->OpenCd(image.cuePath, 0, image.leadout, cdId).ok());
    EndLog ends;
    ASSERT_TRUE(m_engine->Play(waveId, ends.Handler()).ok());
    ASSERT_TRUE(m_engine->Play(cdId, ends.Handler()).ok());
    std::this_thread::sleep_for(300ms);
    std::filesystem::resize_file(wave, 2000);
    std::filesystem::resize_file(image.binPath, 2352 * 10);
    ASSERT_TRUE(ends.WaitForCount(2, 6s));
    for (const EndLog::Entry& end : ends.Entries()) {
        EXPECT_EQ(end.reason, EndReason::Failed) << end.id;
    }
    EXPECT_LT(m_engine->Position(waveId), m_engine->Length(waveId));
}

TEST(SoundEngineNoOutputTest, WithoutADevicePlaysKeepTheirTimeAndSoundComesWhenOneOpens) {
    // The disk driver cannot create its file in a folder that is not there: no output opens.
    TempDir dir;
    UseSdlDriver("disk", dir.file("later/out.raw"));
    std::mutex mutex;
    std::vector<EngineStatus> told;
    std::optional<SoundEngine> engine;
    SoundEngine::Config config;
    config.int16Output = false;
    config.probeTimeout = 30s; // an answer, not the wait running out
    config.outputChanged = [&](const EngineStatus& status) {
        std::lock_guard lock(mutex);
        told.push_back(status);
    };
    engine.emplace(config);
    EngineStatus status = engine->ProbeOutput();
    EXPECT_EQ(status.error, EngineError::NoOutput);
    EXPECT_NE(status.message, "The sound output did not answer");

    // A source opens and plays in time all the same, so that a list goes on; the engine keeps
    // trying meanwhile without telling more than once.
    WriteToneWave(dir.file("a.wav"), 440.0, 1.0);
    SourceId id = 0;
    ASSERT_TRUE(engine->OpenWave(dir.file("a.wav"), id).ok());
    EndLog ends;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine->Play(id, ends.Handler()).ok());
    ASSERT_TRUE(ends.WaitForCount(1, 5s));
    EXPECT_GT(ends.Entries()[0].when - started, 900ms) << "ended early";
    EXPECT_EQ(engine->Position(id), engine->Length(id));
    EXPECT_GE(engine->GetStats().deviceOpenFailures, 2u);
    EXPECT_FALSE(engine->GetStats().deviceOpen);
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].error, EngineError::NoOutput);
    }

    // Once the output can open, what plays is heard, and that is told too.
    std::filesystem::create_directories(dir.file("later"));
    EXPECT_TRUE(engine->ProbeOutput().ok());
    WriteToneWave(dir.file("b.wav"), 660.0, 0.5);
    ASSERT_TRUE(engine->OpenWave(dir.file("b.wav"), id).ok());
    ASSERT_TRUE(engine->Play(id, ends.Handler()).ok());
    ASSERT_TRUE(ends.WaitForCount(2, 10s));
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(told.size(), 2u);
        EXPECT_TRUE(told[1].ok());
    }
    engine.reset();
    std::vector<Segment> heard = FindSegments(
        Channel(ReadSoundFile(dir.file("later/out.raw"), kDiskDriverFormat).samples, 0), kRate);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NEAR(heard[0].frequency, 660.0, 2.0);
    EXPECT_NEAR(heard[0].Seconds(kRate), 0.5, 0.01);
}
