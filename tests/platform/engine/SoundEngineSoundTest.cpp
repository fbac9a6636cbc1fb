// Through the real (private) sound server: what the engine plays is captured from the default
// sink's monitor and checked for pitch, length, level and timing. CD tracks are heard in
// MciLayerSoundTest, and compared sample by sample in SoundEngineDiskTest.

#include "platform/engine/SoundEngine.h"

#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
constexpr int kRate = AudioCapture::kRate;
const std::string kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

class SoundEngineSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("SDL_AUDIODRIVER");
        ASSERT_TRUE(m_capture.WaitUntilRunning()) << "no sound server: run under scripts/test";
    }

    // Plays one source to its end; returns when its end was reported.
    void PlayToEnd(SourceId id, std::chrono::milliseconds timeout = 10s) {
        EndLog ends;
        ASSERT_TRUE(m_engine.Play(id, ends.Handler()).ok());
        ASSERT_TRUE(ends.WaitForCount(1, timeout));
        EXPECT_EQ(ends.Entries()[0].reason, EndReason::Finished);
        m_engine.Close(id);
    }

    std::vector<Segment> Listen() {
        std::this_thread::sleep_for(150ms); // the server's latency
        return FindSegments(Channel(m_capture.Stop(), 0), kRate);
    }

    TempDir m_dir;
    AudioCapture m_capture;
    SoundEngine m_engine;
};
} // namespace

TEST_F(SoundEngineSoundTest, EveryWaveFormatComesOutAtItsPitchAndLength) {
    struct Case {
        const char* name;
        double frequency;
        double seconds;
        WaveFormat format;
    };
    const Case cases[] = {
        {"s16.wav", 440.0, 1.0, {44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16}},
        {"u8.wav", 600.0, 0.5, {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}},
        {"float.wav", 700.0, 0.6, {48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT}},
        {"s24.wav", 800.0, 0.4, {96000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24}},
        {"ulaw.wav", 900.0, 0.5, {8000, 1, SF_FORMAT_WAV | SF_FORMAT_ULAW}},
        {"ima.wav", 1000.0, 0.5, {44100, 1, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM}},
        {"s16.aiff", 1100.0, 0.3, {11025, 2, SF_FORMAT_AIFF | SF_FORMAT_PCM_16}},
    };
    for (const Case& c : cases) {
        WriteToneWave(m_dir.file(c.name), c.frequency, c.seconds, c.format);
        SourceId id = 0;
        ASSERT_TRUE(m_engine.OpenWave(m_dir.file(c.name), id).ok()) << c.name;
        PlayToEnd(id);
        std::this_thread::sleep_for(100ms);
    }
    std::vector<Segment> parts = Listen();
    ASSERT_EQ(parts.size(), std::size(cases));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        EXPECT_NEAR(parts[i].frequency, cases[i].frequency, 1.0) << cases[i].name;
        // ADPCM pads its last block with silence; the rest end within a few samples.
        EXPECT_NEAR(parts[i].Seconds(kRate), cases[i].seconds, 0.01) << cases[i].name;
        EXPECT_NEAR(parts[i].rmsDb, 20 * std::log10(0.5 / std::sqrt(2.0)), 0.5) << cases[i].name;
    }
}

TEST_F(SoundEngineSoundTest, MidiSoundsAndEndsWithItsMusic) {
    SmfWriter song;
    song.Program(0, 0);
    song.Note(0.0, 0.5, 60, 110);
    song.Note(0.5, 0.5, 64, 110);
    song.Note(1.0, 0.5, 67, 110);
    WriteBytes(m_dir.file("song.mid"), song.Bytes());
    WriteBytes(m_dir.file("song.rmi"), WrapRmi(song.Bytes()));
    const double musicEnd = song.EndSeconds();
    ASSERT_TRUE(m_engine.ProbeSoundFont(kSoundFont).ok());

    for (const char* name : {"song.mid", "song.rmi"}) {
        SourceId id = 0;
        ASSERT_TRUE(m_engine.OpenMidi(m_dir.file(name), kSoundFont, id).ok()) << name;
        EndLog ends;
        auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(m_engine.Play(id, ends.Handler()).ok());
        ASSERT_TRUE(ends.WaitForCount(1, 10s));
        double took = std::chrono::duration<double>(ends.Entries()[0].when - started).count();
        // The last notes ring out for at most a second; the player itself would take ~5 s.
        EXPECT_GT(took, musicEnd) << name;
        EXPECT_LT(took, musicEnd + 1.2) << name;
        m_engine.Close(id);
        std::this_thread::sleep_for(300ms);
    }
    std::vector<Segment> parts = FindSegments(Channel(m_capture.Stop(), 0), kRate, -50.0, 0.1);
    ASSERT_EQ(parts.size(), 2u);
    for (const Segment& part : parts) {
        EXPECT_GT(part.Seconds(kRate), musicEnd - 0.1);
        EXPECT_LT(part.Seconds(kRate), musicEnd + 1.1);
        EXPECT_GT(part.rmsDb, -30.0) << "the synthesizer is too quiet";
    }
}
