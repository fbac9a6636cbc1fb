#include "dsp/CleanRecording.h"

#include "dsp/LoudnessMeter.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace {

using namespace testaudio;
using Outcome = CleanResult::Outcome;

// Speech-like sound with white noise hissDb below its sounds, a different announcement in
// each channel (so that a mixed-up channel shows). Returns the clean speech of each channel.
std::vector<SpeechLike> WriteNoisySpeech(const std::string& path, const WaveFormat& f,
                                         double seconds, double peak, double hissDb = 25) {
    std::vector<SpeechLike> speech;
    std::vector<float> frames(static_cast<std::size_t>(seconds * f.rate) * f.channels);
    for (int c = 0; c < f.channels; ++c) {
        speech.push_back(SpeechLikeSignal(seconds, f.rate, peak, 1 + 2 * c));
        const auto& s = speech.back();
        const double level = RegionsRmsDb(s.samples, s.sounds);
        const auto hiss = WhiteNoise(s.samples.size(), std::pow(10, (level - hissDb) / 20), 7 + c);
        for (std::size_t i = 0; i < s.samples.size(); ++i) {
            frames[i * f.channels + c] = s.samples[i] + hiss[i];
        }
    }
    SF_INFO info{0, f.rate, f.channels, f.format, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr);
    sf_writef_float(file, frames.data(), static_cast<sf_count_t>(frames.size() / f.channels));
    sf_close(file);
    return speech;
}

// Hiss in the pauses, level of the sounds, and how far below the syllables the difference from
// the clean speech lies there (a shift in time would make that difference as loud as the
// speech). The steady tone is left out of the last: the denoiser's noise tracker may take a
// tone of a second for noise and lower it by a decibel or so.
struct Levels {
    double floor, sounds, error;
};
Levels Measure(const std::vector<float>& channel, const SpeechLike& speech, int rate) {
    std::vector<float> error(channel);
    for (std::size_t i = 0; i < error.size(); ++i) {
        error[i] -= speech.samples[i];
    }
    auto syllables = speech.sounds;
    syllables.erase(syllables.begin() + static_cast<std::ptrdiff_t>(speech.tone));
    return {RegionsRmsDb(channel, speech.Pauses(rate)), RegionsRmsDb(channel, speech.sounds),
            RegionsRmsDb(channel, syllables) - RegionsRmsDb(error, syllables)};
}

std::size_t FilesIn(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

TEST(CleanRecordingTest, RemoveHissLowersTheFloorKeepsTheSpeechInPlaceAndTellsItsProgress) {
    const WaveFormat formats[] = {
        {44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}, // the Recorder's "Average" quality
        {96000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24}, // above the denoiser's rates: resampled
        {6000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
    };
    for (const WaveFormat& f : formats) {
        SCOPED_TRACE(std::to_string(f.rate) + " Hz, format " + std::to_string(f.format));
        TempDir dir;
        const std::string path = dir.file("take.wav");
        const auto speech = WriteNoisySpeech(path, f, 5.0, 0.5);
        const SoundFile before = ReadSoundFile(path);
        std::vector<double> fractions;
        const CleanResult result = CleanRecording(path, {true, false}, [&](double fraction) {
            fractions.push_back(fraction);
            return true;
        });
        ASSERT_EQ(result.outcome, Outcome::Done) << result.message;
        EXPECT_GT(fractions.size(), 2u) << "told while it works";
        EXPECT_LE(fractions.size(), 202u);
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        EXPECT_EQ(fractions.back(), 1.0) << "once the new file is in place";
        const SoundFile after = ReadSoundFile(path);
        EXPECT_EQ(after.format, f.format);
        EXPECT_EQ(after.rate, f.rate);
        ASSERT_EQ(after.samples.size(), before.samples.size());
        for (int c = 0; c < f.channels; ++c) {
            const Levels was = Measure(Channel(before.samples, c, f.channels), speech[c], f.rate);
            const Levels now = Measure(Channel(after.samples, c, f.channels), speech[c], f.rate);
            // At 8 bits the dither the format needs (-48 dBFS) is as low as the floor can go.
            EXPECT_LT(now.floor,
                      (f.format & SF_FORMAT_PCM_U8) == SF_FORMAT_PCM_U8 ? -47.0 : was.floor - 12.0);
            EXPECT_NEAR(now.sounds, was.sounds, 1.0);
            EXPECT_GT(now.error, was.error - 1.0) << "the speech moved or changed";
        }
        EXPECT_EQ(FilesIn(dir.path()), 1u);
    }
}

TEST(CleanRecordingTest, MaximiseReachesTheTargetOrStopsAtThePeak) {
    struct Case {
        const char* name;
        WaveFormat format;
        double peak;
        bool click; // a 1 ms click far above the speech: the peak limits the gain
    } cases[] = {
        {"quiet", {44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, 0.1, false},
        {"quiet 8-bit", {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}, 0.1, false},
        {"click", {44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, 0.05, true},
        {"click 8-bit", {44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}, 0.05, true},
        {"too loud, float", {48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT}, 1.4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("take.wav");
        WriteNoisySpeech(path, c.format, 5.0, c.peak);
        if (c.click) {
            SoundFile file = ReadSoundFile(path);
            for (std::size_t i = 0; i < 44; ++i) {
                file.samples[c.format.rate + i] += static_cast<float>(0.6 * std::sin(i * 0.3));
            }
            WriteWave(path, file.samples, {c.format.rate, 1, c.format.format});
        }
        const CleanResult result = CleanRecording(path, {false, true});
        ASSERT_EQ(result.outcome, Outcome::Done) << result.message;
        EXPECT_EQ(result.peakLimited, c.click);

        const SoundFile after = ReadSoundFile(path);
        EXPECT_EQ(after.format, c.format.format);
        auto meter = LoudnessMeter::Create(after.channels, after.rate);
        meter->Add(after.samples.data(), after.samples.size() / after.channels);
        if (c.click) {
            EXPECT_NEAR(meter->TruePeakDb(), kPeakCeilingDbtp, 0.3);
        } else {
            EXPECT_NEAR(*meter->IntegratedLufs(), kTargetLufs, 0.5);
        }
        EXPECT_LE(meter->TruePeakDb(), kPeakCeilingDbtp + 0.05) << "no gain past the ceiling";

        // Again: at the target already, the file is not rewritten.
        const Bytes done = ReadFileBytes(path);
        EXPECT_EQ(CleanRecording(path, {false, true}).outcome, Outcome::Unchanged);
        EXPECT_EQ(ReadFileBytes(path), done);
    }
}

TEST(CleanRecordingTest, BadInputOrAStopIsRefusedAndTheFileLeftAlone) {
    TempDir source;
    const WaveFormat pcm16{44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16};
    WriteNoisySpeech(source.file("good.wav"), pcm16, 1.0, 0.5);
    Bytes cut = ReadFileBytes(source.file("good.wav"));
    cut.resize(cut.size() - 1000);
    Bytes badFormat = ReadFileBytes(source.file("good.wav"));
    badFormat[22] = 0; // no channels
    WriteWave(source.file("silence.wav"), std::vector<float>(44100, 0.0f),
              {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8});
    WriteWave(source.file("header.wav"), {}, {44100, 1, pcm16.format});
    WriteToneWave(source.file("short.wav"), 440, 0.2, {44100, 1, pcm16.format});
    WriteToneWave(source.file("tone.aiff"), 440, 1.0,
                  {44100, 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_16});

    struct Case {
        const char* name;
        Bytes bytes;
        CleanSteps steps;
        Outcome outcome;
        CleanProgress progress = {};
    } cases[] = {
        {"text", Bytes{'h', 'e', 'l', 'l', 'o'}, {true, true}, Outcome::Unreadable},
        {"zero bytes", Bytes{}, {true, false}, Outcome::Unreadable},
        {"cut short", cut, {true, true}, Outcome::Unreadable},
        {"no channels", badFormat, {false, true}, Outcome::Unreadable},
        {"aiff", ReadFileBytes(source.file("tone.aiff")), {true, false}, Outcome::Unreadable},
        {"no frames", ReadFileBytes(source.file("header.wav")), {true, true}, Outcome::Empty},
        {"silence", ReadFileBytes(source.file("silence.wav")), {true, true}, Outcome::Silent},
        {"0.2 s", ReadFileBytes(source.file("short.wav")), {false, true}, Outcome::Unmeasurable},
        {"no step", ReadFileBytes(source.file("good.wav")), {false, false}, Outcome::NothingAsked},
        {"stopped halfway",
         ReadFileBytes(source.file("good.wav")),
         {true, true},
         Outcome::Stopped,
         [calls = 0](double fraction) mutable { return ++calls < 3 && fraction < 0.5; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("take.wav");
        WriteFileBytes(path, c.bytes);
        const CleanResult result = CleanRecording(path, c.steps, c.progress);
        EXPECT_EQ(result.outcome, c.outcome) << result.message;
        EXPECT_FALSE(result.message.empty());
        EXPECT_EQ(ReadFileBytes(path), c.bytes);
        EXPECT_EQ(FilesIn(dir.path()), 1u) << "no temporary file left";
    }
    TempDir dir;
    EXPECT_EQ(CleanRecording(dir.file("none.wav"), {true, true}).outcome, Outcome::Unreadable);
    EXPECT_EQ(FilesIn(dir.path()), 0u);
}

} // namespace
