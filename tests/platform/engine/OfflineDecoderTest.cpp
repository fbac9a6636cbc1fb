// Decoding without a device, through the decoders and rate conversion that playback uses:
// files as other programs write them, rates, channel layouts, and each kind of item.

#include "platform/engine/SoundEngine.h"

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>

using namespace testaudio;

namespace {
const std::string kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

struct Decoded {
    std::vector<float> stereo;
    EngineStatus status;
    bool atEnd = false;
    std::size_t Frames() const { return stereo.size() / 2; }
};

Decoded DecodeAll(OfflineDecoder& decoder) {
    Decoded out;
    std::vector<float> block(2 * 1000); // an odd block size: output is not chunk-aligned
    while (std::size_t n = decoder.Read(block.data(), 1000)) {
        out.stereo.insert(out.stereo.end(), block.begin(),
                          block.begin() + static_cast<std::ptrdiff_t>(2 * n));
    }
    out.status = decoder.Status();
    out.atEnd = decoder.AtEnd();
    return out;
}

Decoded DecodeWave(const std::string& path, int rate) {
    EngineStatus status;
    std::unique_ptr<OfflineDecoder> decoder = OfflineDecoder::OpenWave(path, rate, status);
    if (!decoder) {
        ADD_FAILURE() << path << ": " << status.message;
        return {};
    }
    return DecodeAll(*decoder);
}

// The middle 80 % of a mono signal, away from the edges of the conversion.
std::vector<float> Middle(const std::vector<float>& mono) {
    return Slice(mono, mono.size() / 10, mono.size() * 8 / 10);
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::size_t DataChunkAt(const Bytes& bytes) {
    for (std::size_t at = 12; at + 8 <= bytes.size(); ++at) {
        if (std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + 4), "data")) {
            return at;
        }
    }
    return 0;
}

class OfflineDecoderTest : public ::testing::Test {
protected:
    TempDir m_dir;
};
} // namespace

TEST_F(OfflineDecoderTest, WaveFilesWrittenToAPipeOrCutShortPlayWhatTheyHold) {
    // sox writing to a pipe cannot go back to fill in the lengths: 0x7FFFF000 stays.
    const std::string soxFile = m_dir.file("sox.wav");
    ASSERT_EQ(RunCommand("sox -n -r 22050 -c 1 -b 16 -t wav - synth 0.5 sine 440 | cat > " +
                         ShellQuote(soxFile))
                  .exitStatus,
              0);
    const Bytes sox = ReadFileBytes(soxFile);
    ASSERT_EQ(sox[DataChunkAt(sox) + 7], 0x7F) << "sox wrote real lengths";

    // ffmpeg writes 0xFFFFFFFF into both lengths.
    const std::string ffFile = m_dir.file("ff.wav");
    WriteToneWave(ffFile, 550.0, 0.4, {44100, 1});
    Bytes ff = ReadFileBytes(ffFile);
    PutLe32(ff, 4, 0xFFFFFFFF);
    PutLe32(ff, DataChunkAt(ff) + 4, 0xFFFFFFFF);
    WriteFileBytes(ffFile, ff);

    // A file whose data ends early: half of its second of sound is there.
    const std::string cutFile = m_dir.file("cut.wav");
    WriteToneWave(cutFile, 660.0, 1.0, {44100, 2});
    std::filesystem::resize_file(cutFile, 44 + 4 * 22050);

    struct Case {
        std::string path;
        double frequency;
        std::size_t frames; // at 44100 Hz
    };
    for (const Case& c :
         {Case{soxFile, 440.0, 22050}, Case{ffFile, 550.0, 17640}, Case{cutFile, 660.0, 22050}}) {
        SCOPED_TRACE(c.path);
        Decoded out = DecodeWave(c.path, 44100);
        EXPECT_TRUE(out.status.ok()) << out.status.message;
        EXPECT_TRUE(out.atEnd);
        EXPECT_NEAR(static_cast<double>(out.Frames()), static_cast<double>(c.frames), 1.0);
        EXPECT_NEAR(ZeroCrossingFrequency(Middle(Channel(out.stereo, 1)), 44100), c.frequency,
                    0.05);
    }
}

TEST_F(OfflineDecoderTest, ConvertsRatesToThePitchLengthAndLevelOfTheFile) {
    // The program's announcements are 22050 Hz: up to the output rate, and down to 16000 Hz,
    // where a 10 kHz tone lies above the new Nyquist frequency and must vanish.
    const std::string path = m_dir.file("22050.wav");
    WriteToneWave(path, 1000.0, 1.0, {22050, 1}, 0.5);
    const std::string high = m_dir.file("high.wav");
    WriteToneWave(high, 10000.0, 1.0, {22050, 1}, 0.5);
    for (int rate : {44100, 16000}) {
        SCOPED_TRACE(rate);
        Decoded out = DecodeWave(path, rate);
        EXPECT_NEAR(static_cast<double>(out.Frames()), rate, 1.0);
        const std::vector<float> left = Middle(Channel(out.stereo, 0));
        EXPECT_NEAR(ZeroCrossingFrequency(left, rate), 1000.0, 0.01);
        EXPECT_NEAR(RmsDb(left), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.05);
    }
    EXPECT_LT(RmsDb(Middle(Channel(DecodeWave(high, 16000).stereo, 0))), -80.0);
}

TEST_F(OfflineDecoderTest, MultichannelFilesFoldDownByTheirChannelMapWithoutClipping) {
    // Each channel carries its own tone at -1 dBFS; what reaches each side is that tone at
    // the layout's downmix gain: front at 1, centre and surrounds at -3 dB, the LFE nowhere,
    // all divided by the gains' sum on one side, so that equal channels keep their level.
    const double k = std::sqrt(0.5);
    enum : int {
        L = SF_CHANNEL_MAP_LEFT,
        R = SF_CHANNEL_MAP_RIGHT,
        C = SF_CHANNEL_MAP_CENTER,
        LFE = SF_CHANNEL_MAP_LFE,
        BL = SF_CHANNEL_MAP_REAR_LEFT,
        BR = SF_CHANNEL_MAP_REAR_RIGHT,
        SL = SF_CHANNEL_MAP_SIDE_LEFT,
        SR = SF_CHANNEL_MAP_SIDE_RIGHT,
    };
    struct Gain {
        double left;
        double right;
    };
    struct Layout {
        const char* name;
        std::vector<int> map; // empty: a plain WAVE file in the default order
        int channels;
        std::vector<Gain> gains;
    };
    const double quad = 1 + k;
    const double five = 1 + 2 * k;
    const double seven = 1 + 3 * k;
    const std::vector<Gain> fiveOne = {{1 / five, 0}, {0, 1 / five}, {k / five, k / five},
                                       {0, 0},        {k / five, 0}, {0, k / five}};
    const std::vector<Layout> layouts = {
        {"quad", {L, R, BL, BR}, 4, {{1 / quad, 0}, {0, 1 / quad}, {k / quad, 0}, {0, k / quad}}},
        {"5.1", {L, R, C, LFE, BL, BR}, 6, fiveOne},
        {"5.1 without a channel mask", {}, 6, fiveOne},
        {"7.1",
         {L, R, C, LFE, BL, BR, SL, SR},
         8,
         {{1 / seven, 0},
          {0, 1 / seven},
          {k / seven, k / seven},
          {0, 0},
          {k / seven, 0},
          {0, k / seven},
          {k / seven, 0},
          {0, k / seven}}},
    };
    const double amplitude = std::pow(10.0, -1.0 / 20); // -1 dBFS
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const std::string path = m_dir.file("layout.wav");
        std::vector<std::vector<float>> tones;
        for (int c = 0; c < layout.channels; ++c) {
            tones.push_back(SineTone(300.0 + 100.0 * c, 1.0, 44100, amplitude));
        }
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = layout.channels;
        info.format = (layout.map.empty() ? SF_FORMAT_WAV : SF_FORMAT_WAVEX) | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        if (!layout.map.empty()) {
            std::vector<int> map = layout.map;
            ASSERT_EQ(sf_command(file, SFC_SET_CHANNEL_MAP_INFO, map.data(),
                                 static_cast<int>(map.size() * sizeof(int))),
                      SF_TRUE);
        }
        std::vector<float> frames;
        for (std::size_t i = 0; i < tones[0].size(); ++i) {
            for (const std::vector<float>& tone : tones) {
                frames.push_back(tone[i]);
            }
        }
        sf_writef_float(file, frames.data(), static_cast<sf_count_t>(tones[0].size()));
        sf_close(file);

        const Decoded out = DecodeWave(path, 44100);
        for (int side = 0; side < 2; ++side) {
            const std::vector<float> heard = Channel(out.stereo, side);
            EXPECT_LE(Peak(heard), amplitude + 1e-6) << "side " << side;
            for (int c = 0; c < layout.channels; ++c) {
                const Gain& gain = layout.gains[static_cast<std::size_t>(c)];
                const double expected = amplitude * (side == 0 ? gain.left : gain.right);
                const double got = std::sqrt(2 * GoertzelPower(heard, 44100, 300.0 + 100.0 * c));
                EXPECT_NEAR(got, expected, 1e-3) << "channel " << c << " side " << side;
            }
        }
    }
}

TEST_F(OfflineDecoderTest, MidiAndCdTracksDecodeAtTheRateAsked) {
    // A MIDI file as other programs leave them: bytes after its track, whose length runs past
    // the end of the file.
    SmfWriter song;
    song.Program(0, 0);
    song.Note(0.0, 0.5, 69, 110);
    Bytes midi = song.Bytes();
    const Bytes length = {0x00, 0x10, 0x00, 0x00}; // the track's, big-endian
    std::copy(length.begin(), length.end(), midi.begin() + 18);
    midi.push_back(0x00);
    midi.push_back(0x2A);
    WriteFileBytes(m_dir.file("song.mid"), midi);
    EngineStatus status;
    auto decoder = OfflineDecoder::OpenMidi(m_dir.file("song.mid"), kSoundFont, 16000, status);
    ASSERT_TRUE(decoder) << status.message;
    EXPECT_EQ(decoder->LengthFrames(), 0u);
    Decoded music = DecodeAll(*decoder);
    EXPECT_TRUE(music.atEnd);
    // The note, then its release dies away within the tail.
    EXPECT_GT(music.Frames(), 16000u / 2);
    EXPECT_LT(music.Frames(), 16000u * 2);
    const std::vector<float> note = Slice(Channel(music.stereo, 0), 800, 4800);
    EXPECT_GT(RmsDb(note), -40.0);
    EXPECT_GT(GoertzelPower(note, 16000, 440.0), 10 * GoertzelPower(note, 16000, 466.2));
    EXPECT_GT(GoertzelPower(note, 16000, 440.0), 10 * GoertzelPower(note, 16000, 415.3));

    // CD track 2 of an image: its own samples at 44100 Hz, the same length and pitch at 8000.
    const CdImage image = WriteCdImage(m_dir.path(), "disc", {{440.0, 0.3}, {660.0, 0.5}});
    CdToc toc;
    ASSERT_TRUE(SoundEngine::ReadCd(image.cuePath, toc).ok());
    ASSERT_EQ(toc.TrackCount(), 2);
    const std::int32_t first = toc.TrackStart(2);
    const std::int32_t end = toc.TrackStart(3);
    const Bytes bin = ReadFileBytes(image.binPath);
    for (int rate : {44100, 8000}) {
        SCOPED_TRACE(rate);
        decoder = OfflineDecoder::OpenCd(image.cuePath, first, end, rate, status);
        ASSERT_TRUE(decoder) << status.message;
        const double frames = (end - first) * 588.0 * rate / 44100;
        EXPECT_NEAR(static_cast<double>(decoder->LengthFrames()), frames, 1.0);
        Decoded track = DecodeAll(*decoder);
        EXPECT_NEAR(static_cast<double>(track.Frames()),
                    static_cast<double>(decoder->LengthFrames()), 1.0);
        if (rate == 44100) {
            const std::size_t at = static_cast<std::size_t>(first) * 2352 + 4 * 1000;
            const auto sample = static_cast<std::int16_t>(bin[at] | (bin[at + 1] << 8));
            EXPECT_EQ(track.stereo[2 * 1000], static_cast<float>(sample) / 32768.0f);
        }
        EXPECT_NEAR(ZeroCrossingFrequency(Middle(Channel(track.stereo, 0)), rate), 660.0, 0.05);
    }
}

TEST_F(OfflineDecoderTest, WhatCannotBeDecodedSaysWhy) {
    EngineStatus status;
    EXPECT_FALSE(OfflineDecoder::OpenWave(m_dir.file("none.wav"), 44100, status));
    EXPECT_EQ(status.error, EngineError::FileNotFound);
    WriteToneWave(m_dir.file("a.wav"), 440.0, 0.1);
    EXPECT_FALSE(OfflineDecoder::OpenWave(m_dir.file("a.wav"), 500, status));
    EXPECT_EQ(status.error, EngineError::Unsupported);
    SmfWriter song;
    song.Note(0.0, 0.1, 60);
    WriteFileBytes(m_dir.file("a.mid"), song.Bytes());
    EXPECT_FALSE(OfflineDecoder::OpenMidi(m_dir.file("a.mid"), m_dir.file("no.sf2"), 8000, status));
    EXPECT_EQ(status.error, EngineError::NoSoundFont);
    EXPECT_FALSE(OfflineDecoder::OpenCd(m_dir.file("no.cue"), 0, 75, 44100, status));
    EXPECT_EQ(status.error, EngineError::CdNotReady);

    // A file cut short while it is read breaks off with a reason.
    WriteToneWave(m_dir.file("long.wav"), 440.0, 3.0);
    auto decoder = OfflineDecoder::OpenWave(m_dir.file("long.wav"), 44100, status);
    ASSERT_TRUE(decoder);
    std::vector<float> block(2 * 4096);
    ASSERT_EQ(decoder->Read(block.data(), 4096), 4096u);
    std::filesystem::resize_file(m_dir.file("long.wav"), 20000);
    while (decoder->Read(block.data(), 4096) > 0) {
    }
    EXPECT_FALSE(decoder->AtEnd());
    EXPECT_EQ(decoder->Status().error, EngineError::InvalidFile);
    EXPECT_FALSE(decoder->Status().message.empty());
}
