// Through the real (private) sound server: what the engine plays is captured from the default
// sink's monitor and heard for pitch, length and level. Every format and rate is decoded
// exactly in OfflineDecoderTest and the mix is compared sample by sample in
// SoundEngineDiskTest; here the way out through the server, and the synthesizer's loudness.

#include "platform/engine/SoundEngine.h"

#include "tests/platform/engine/EngineTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/AudioCapture.h"
#include "tests/support/audio/HeardTones.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace std::chrono_literals;
using namespace testaudio;

namespace {
constexpr int kRate = AudioCapture::kRate;

// Waits until the server has delivered `seconds` more to the capture; returns its frame count.
std::size_t CaptureOn(const AudioCapture& capture, double seconds) {
    const std::size_t until = capture.Frames() + static_cast<std::size_t>(seconds * kRate);
    WaitFor([&] { return capture.Frames() >= until; }, 10s);
    return capture.Frames();
}
} // namespace

TEST(SoundEngineSoundTest, AWaveAndThenAMidiFileSoundThroughTheServer) {
    ::unsetenv("SDL_AUDIODRIVER");
    AudioCapture capture;
    ASSERT_TRUE(capture.WaitUntilRunning()) << "no sound server: run under scripts/test";
    TempDir dir;
    // A rate the server does not run at: the way out converts it.
    WriteToneWave(dir.file("tone.wav"), 600.0, 0.5, {22050, 1});
    SmfWriter song;
    song.Program(0, 0);
    song.Note(0.0, 0.5, 60, 110);
    song.Note(0.5, 0.5, 64, 110);
    song.Note(1.0, 0.5, 67, 110); // ends at 1.5 s
    WriteFileBytes(dir.file("song.mid"), song.Bytes());
    SoundEngine engine;
    SourceId wave = 0;
    SourceId midi = 0;
    ASSERT_TRUE(engine.OpenWave(dir.file("tone.wav"), wave).ok());
    ASSERT_TRUE(
        engine.OpenMidi(dir.file("song.mid"), "/usr/share/sounds/sf2/default-GM.sf2", midi).ok());
    EndLog ends;
    ASSERT_TRUE(engine.Play(wave, ends.Handler()).ok());
    ASSERT_TRUE(ends.WaitForCount(1, 10s));
    // The server's clock says when the tone has come through.
    const std::size_t musicFrom = CaptureOn(capture, 0.3);
    ASSERT_TRUE(engine.Play(midi, ends.Handler()).ok());
    ASSERT_TRUE(ends.WaitForCount(2, 10s));
    CaptureOn(capture, 0.3);
    const std::vector<float> left = Channel(capture.Stop(), 0);
    for (const EndLog::Entry& end : ends.Entries()) {
        EXPECT_EQ(end.reason, EndReason::Finished);
    }

    const std::vector<HeardTone> tone = HeardTones(Slice(left, 0, musicFrom), kRate, {600.0});
    ASSERT_EQ(ToneSequence(tone), std::vector<double>{600.0});
    EXPECT_NEAR(tone[0].seconds, 0.5, 0.03);
    EXPECT_NEAR(tone[0].RmsDb(kRate), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.5);
    // The music from its first note to the end of its last, and loud enough to hear.
    const std::vector<float> music = Slice(left, musicFrom, left.size());
    const std::vector<Segment> parts = FindSegments(music, kRate, -50.0, 0.1);
    ASSERT_FALSE(parts.empty()) << "the MIDI file was not heard";
    const std::size_t length = parts.back().end - parts.front().first;
    EXPECT_GT(static_cast<double>(length) / kRate, 1.5 - 0.1);
    EXPECT_GT(RmsDb(Slice(music, parts.front().first, length)), -30.0) << "too quiet";
}
