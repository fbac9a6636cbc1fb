// Decoding without a device, through the decoders and rate conversion that playback uses:
// every file format, files as other programs write them, rates, channel layouts, each kind of
// item, and the files that cannot play.

#include "platform/engine/SoundEngine.h"

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

using namespace testaudio;

namespace {
const std::string kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
const double kHalfScaleDb = 20 * std::log10(0.5 / std::sqrt(2.0));

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

TEST_F(OfflineDecoderTest, EveryFormatAndFilesWithoutTheirLengthsDecodeAtTheirPitchLengthAndLevel) {
    // sox writing to a pipe cannot go back to fill in the lengths: 0x7FFFF000 stays.
    const std::string sox = m_dir.file("sox.wav");
    ASSERT_EQ(RunCommand("sox -n -r 22050 -c 1 -b 16 -t wav - synth 0.5 sine 440 vol 0.5 | cat > " +
                         ShellQuote(sox))
                  .exitStatus,
              0);
    ASSERT_EQ(ReadFileBytes(sox)[DataChunkAt(ReadFileBytes(sox)) + 7], 0x7F) << "real lengths";
    // ffmpeg writes 0xFFFFFFFF into both lengths.
    const std::string ff = m_dir.file("ff.wav");
    WriteToneWave(ff, 550.0, 0.4, {44100, 1});
    Bytes ffBytes = ReadFileBytes(ff);
    PutLe32(ffBytes, 4, 0xFFFFFFFF);
    PutLe32(ffBytes, DataChunkAt(ffBytes) + 4, 0xFFFFFFFF);
    WriteFileBytes(ff, ffBytes);
    // A file whose data ends early: half of its second of sound is there.
    const std::string cut = m_dir.file("cut.wav");
    WriteToneWave(cut, 660.0, 1.0, {44100, 2});
    std::filesystem::resize_file(cut, 44 + 4 * 22050);

    struct Case {
        std::string name;
        double frequency;
        std::size_t frames;    // at 44100 Hz, 4 fewer at most
        WaveFormat format;     // rate 0: the file is there already
        std::size_t slack = 4; // frames more at most
    };
    const Case cases[] = {
        {"s16.wav", 440.0, 44100, {44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16}},
        {"u8.wav", 600.0, 22050, {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}},
        {"float.wav", 700.0, 26460, {48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT}},
        {"s24.wav", 800.0, 17640, {96000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24}},
        {"ulaw.wav", 900.0, 22050, {8000, 1, SF_FORMAT_WAV | SF_FORMAT_ULAW}},
        // ADPCM pads its last block (4089 frames) with silence.
        {"ima.wav", 1000.0, 22050, {44100, 1, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM}, 4089},
        {"s16.aiff", 1100.0, 13230, {11025, 2, SF_FORMAT_AIFF | SF_FORMAT_PCM_16}},
        {"sox.wav", 440.0, 22050, {0, 0, 0}},
        {"ff.wav", 550.0, 17640, {0, 0, 0}},
        {"cut.wav", 660.0, 22050, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.format.rate != 0) {
            WriteToneWave(m_dir.file(c.name), c.frequency, static_cast<double>(c.frames) / 44100.0,
                          c.format);
        }
        Decoded out = DecodeWave(m_dir.file(c.name), 44100);
        EXPECT_TRUE(out.status.ok()) << out.status.message;
        EXPECT_TRUE(out.atEnd);
        EXPECT_GE(out.Frames() + 4, c.frames);
        EXPECT_LE(out.Frames(), c.frames + c.slack);
        const std::vector<float> right = Middle(Channel(out.stereo, 1));
        EXPECT_NEAR(ZeroCrossingFrequency(right, 44100), c.frequency, 0.02);
        EXPECT_NEAR(RmsDb(right), kHalfScaleDb, 0.1);
    }
    // Down to 16000 Hz, a 10 kHz tone lies above the new Nyquist frequency and must vanish.
    WriteToneWave(m_dir.file("high.wav"), 10000.0, 1.0, {22050, 1});
    EXPECT_LT(RmsDb(Middle(Channel(DecodeWave(m_dir.file("high.wav"), 16000).stereo, 0))), -80.0);
}

TEST_F(OfflineDecoderTest, MultichannelFilesFoldDownByTheirChannelMapWithoutClipping) {
    // Each channel carries its own tone at -1 dBFS; what reaches each side is that tone at
    // the layout's downmix gain: front at 1, centre and surrounds at -3 dB, the LFE nowhere,
    // all divided by the gains' sum on one side, so that equal channels keep their level.
    const double k = std::sqrt(0.5);
    const auto sides = [k](int position) -> std::pair<double, double> {
        switch (position) {
        case SF_CHANNEL_MAP_LEFT:
            return {1, 0};
        case SF_CHANNEL_MAP_RIGHT:
            return {0, 1};
        case SF_CHANNEL_MAP_CENTER:
            return {k, k};
        case SF_CHANNEL_MAP_REAR_LEFT:
        case SF_CHANNEL_MAP_SIDE_LEFT:
            return {k, 0};
        case SF_CHANNEL_MAP_REAR_RIGHT:
        case SF_CHANNEL_MAP_SIDE_RIGHT:
            return {0, k};
        default:
            return {0, 0}; // the LFE
        }
    };
    const std::vector<int> fiveOne = {SF_CHANNEL_MAP_LEFT,      SF_CHANNEL_MAP_RIGHT,
                                      SF_CHANNEL_MAP_CENTER,    SF_CHANNEL_MAP_LFE,
                                      SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};
    std::vector<int> sevenOne = fiveOne;
    sevenOne.insert(sevenOne.end(), {SF_CHANNEL_MAP_SIDE_LEFT, SF_CHANNEL_MAP_SIDE_RIGHT});
    const struct {
        const char* name;
        std::vector<int> map;
        bool written; // false: a plain WAVE file in the default order
    } layouts[] = {
        {"quad",
         {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_REAR_LEFT,
          SF_CHANNEL_MAP_REAR_RIGHT},
         true},
        {"5.1", fiveOne, true},
        {"5.1 without a channel mask", fiveOne, false},
        {"7.1", sevenOne, true},
    };
    const double amplitude = std::pow(10.0, -1.0 / 20); // -1 dBFS
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const auto channels = static_cast<int>(layout.map.size());
        double sum[2] = {0, 0};
        for (int position : layout.map) {
            sum[0] += sides(position).first;
            sum[1] += sides(position).second;
        }
        const std::string path = m_dir.file("layout.wav");
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = channels;
        info.format = (layout.written ? SF_FORMAT_WAVEX : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        if (layout.written) {
            std::vector<int> map = layout.map;
            ASSERT_EQ(sf_command(file, SFC_SET_CHANNEL_MAP_INFO, map.data(),
                                 static_cast<int>(map.size() * sizeof(int))),
                      SF_TRUE);
        }
        std::vector<float> frames;
        for (int i = 0; i < 44100; ++i) {
            for (int c = 0; c < channels; ++c) {
                frames.push_back(static_cast<float>(
                    amplitude * std::sin(2 * M_PI * (300.0 + 100.0 * c) * i / 44100)));
            }
        }
        sf_writef_float(file, frames.data(), 44100);
        sf_close(file);

        const Decoded out = DecodeWave(path, 44100);
        for (int side = 0; side < 2; ++side) {
            const std::vector<float> heard = Channel(out.stereo, side);
            EXPECT_LE(Peak(heard), amplitude + 1e-6) << "side " << side;
            for (int c = 0; c < channels; ++c) {
                const auto [left, right] = sides(layout.map[static_cast<std::size_t>(c)]);
                const double expected = amplitude * (side == 0 ? left : right) / sum[side];
                const double got = std::sqrt(2 * GoertzelPower(heard, 44100, 300.0 + 100.0 * c));
                EXPECT_NEAR(got, expected, 1e-3) << "channel " << c << " side " << side;
            }
        }
    }
}

TEST_F(OfflineDecoderTest, MidiAndCdTracksDecodeAtTheRateAsked) {
    SmfWriter song;
    song.Program(0, 0);
    song.Note(0.0, 0.5, 69, 110);
    WriteFileBytes(m_dir.file("song.mid"), song.Bytes());
    EngineStatus status;
    auto decoder = OfflineDecoder::OpenMidi(m_dir.file("song.mid"), kSoundFont, 16000, status);
    ASSERT_TRUE(decoder) << status.message;
    EXPECT_EQ(decoder->LengthFrames(), 0u);
    Decoded music = DecodeAll(*decoder);
    EXPECT_TRUE(music.atEnd);
    // The note, then its release dies away within the tail (not the synthesizer's seconds).
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
    // The decoders behind playback's Open calls too: each failure with its reason.
    WriteFileBytes(m_dir.file("empty.wav"), {});
    WriteFileBytes(m_dir.file("garbage.wav"), Bytes(5000, 0x37));
    WriteToneWave(m_dir.file("a.wav"), 440.0, 0.1);
    std::filesystem::copy_file(m_dir.file("a.wav"), m_dir.file("locked.wav"));
    std::filesystem::permissions(m_dir.file("locked.wav"), std::filesystem::perms::none);
    SmfWriter song;
    song.Note(0.0, 0.1, 60);
    WriteFileBytes(m_dir.file("a.mid"), song.Bytes());
    const CdImage image = WriteCdImage(m_dir.path(), "disc", {{440.0, 1.0}});
    const auto open = [&](char kind, const std::string& path, int rate, std::int32_t end,
                          EngineStatus& status) {
        return kind == 'w'   ? OfflineDecoder::OpenWave(path, rate, status)
               : kind == 'm' ? OfflineDecoder::OpenMidi(m_dir.file("a.mid"), path, rate, status)
                             : OfflineDecoder::OpenCd(path, 0, end, rate, status);
    };
    const bool root = ::geteuid() == 0; // root reads anything
    const struct {
        char kind;
        std::string path;
        int rate;
        std::int32_t end;
        EngineError error;
        const char* says = "";
    } cases[] = {
        {'w', m_dir.file("none.wav"), 44100, 0, EngineError::FileNotFound},
        {'w', m_dir.file("empty.wav"), 44100, 0, EngineError::InvalidFile, "empty"},
        {'w', m_dir.file("garbage.wav"), 44100, 0, EngineError::InvalidFile},
        {'w', m_dir.path(), 44100, 0, EngineError::InvalidFile},
        {'w', m_dir.file(root ? "none.wav" : "locked.wav"), 44100, 0,
         root ? EngineError::FileNotFound : EngineError::FileUnreadable},
        {'w', m_dir.file("a.wav"), 500, 0, EngineError::Unsupported},
        {'m', m_dir.file("none.sf2"), 8000, 0, EngineError::NoSoundFont},
        {'m', m_dir.file("garbage.wav"), 8000, 0, EngineError::NoSoundFont},
        {'c', m_dir.file("none.cue"), 44100, 75, EngineError::CdNotReady},
        {'c', image.cuePath, 44100, image.leadout + 1, EngineError::OutOfRange},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EngineStatus status;
        EXPECT_FALSE(open(c.kind, c.path, c.rate, c.end, status));
        EXPECT_EQ(status.error, c.error);
        EXPECT_NE(status.message.find(c.says), std::string::npos) << status.message;
    }

    // No disc: no tracks of an earlier one stay behind.
    CdToc toc;
    ASSERT_TRUE(SoundEngine::ReadCd(image.cuePath, toc).ok());
    EXPECT_EQ(SoundEngine::ReadCd(m_dir.file("none.cue"), toc).error, EngineError::CdNotReady);
    EXPECT_EQ(toc.TrackCount(), 0);
    EXPECT_EQ(toc.leadout, 0);

    // A file cut short while it is read breaks off with a reason.
    WriteToneWave(m_dir.file("long.wav"), 440.0, 3.0);
    EngineStatus status;
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
