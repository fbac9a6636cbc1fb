// quillon-pla render and loudness: what they write is read back with libsndfile, and measured.

#include "platform/engine/SoundEngine.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <cmath>
#include <filesystem>

using namespace testaudio;

namespace {

/// The level a volume gives, by the documented fader curve: -10 dB per halving of v × 655.
double VolumeDb(double volume) {
    return 10.0 * std::log2(volume * 655 / 65535);
}

struct Piece {
    double frequency; ///< 0: not checked (MIDI, checked apart)
    double seconds;
    double rmsDb;
};

class QuillonPlaRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(data.file("Wave Files"));
        std::filesystem::create_directories(data.file("Midi Files"));
    }
    void makeList(const std::string& name, const std::string& itemsJson) {
        const CommandResult made = RunCommand(pla("make " + ShellQuote(data.file(name))),
                                              R"({"items": )" + itemsJson + "}");
        ASSERT_EQ(made.exitStatus, 0) << made.err;
    }
    std::string pla(const std::string& args, const std::string& environment = "") const {
        return "cd " + ShellQuote(data.path()) + " && " + environment + " " + QUILLON_PLA + " " +
               args;
    }
    /// Reads a rendering back; a headerless one as raw in the given format.
    std::vector<float> readBack(const std::string& name, SF_INFO& info) const {
        SNDFILE* file = sf_open(data.file(name).c_str(), SFM_READ, &info);
        EXPECT_NE(file, nullptr) << name << ": " << sf_strerror(nullptr);
        std::vector<float> samples(static_cast<std::size_t>(file ? info.frames : 0));
        if (file != nullptr) {
            EXPECT_EQ(sf_readf_float(file, samples.data(), info.frames), info.frames);
            sf_close(file);
        }
        return samples;
    }
    /// The pieces lie end to end: each at its pitch and level, and no silence anywhere.
    static void expectPieces(const std::vector<float>& mono, int rate,
                             const std::vector<Piece>& pieces) {
        double at = 0;
        for (const Piece& piece : pieces) {
            // Away from the joins, where one tone gives way to the next.
            const auto part = Slice(mono, static_cast<std::size_t>((at + 0.03) * rate),
                                    static_cast<std::size_t>((piece.seconds - 0.06) * rate));
            SCOPED_TRACE(at);
            if (piece.frequency > 0) {
                EXPECT_NEAR(MedianFrequency(part, rate), piece.frequency, 1.0);
                EXPECT_NEAR(RmsDb(part), piece.rmsDb, 0.3);
            }
            at += piece.seconds;
        }
        EXPECT_NEAR(static_cast<double>(mono.size()), at * rate, 3.0);
        const auto segments = FindSegments(mono, rate, -40.0, 0.002);
        ASSERT_EQ(segments.size(), 1u) << "a gap between items";
        EXPECT_LE(segments[0].first, 2u);
    }

    TempDir data;
};

TEST_F(QuillonPlaRenderTest, EveryFormatReadsBackWithItsHeaderRateOrderLoopsAndLevels) {
    WriteToneWave(data.file("Wave Files/a.wav"), 440, 0.4, {44100, 2}, 0.5);
    WriteToneWave(data.file("Wave Files/b.wav"), 660, 0.3, {22050, 1}, 0.5);
    makeList("list.pla", R"([{"kind": 102, "name": "a.wav", "volume": 100, "loopCount": 2},
        {"kind": 102, "name": "B.WAV", "volume": 50}, {"kind": 102, "name": "a.wav",
         "volume": 100, "loopCount": 0}])");
    const double loud = -9.03 + VolumeDb(100);
    const double soft = -9.03 + VolumeDb(50);
    const std::vector<Piece> pass{{440, 0.4, loud}, {440, 0.4, loud}, {660, 0.3, soft}};
    struct Case {
        std::string out, options;
        int format, rate, tag; ///< tag: the WAV format tag; 0 headerless
        int passes;
    } cases[] = {
        {"out.wav", "", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 7, 1},
        {"out.wav", "--format alaw --rate 16000 --passes 2", SF_FORMAT_WAV | SF_FORMAT_ALAW, 16000,
         6, 2},
        {"out.wav", "--format s16 --rate 44100", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 1},
        {"out.ulaw", "", SF_FORMAT_RAW | SF_FORMAT_ULAW, 8000, 0, 1},
        {"OUT.ALAW", "--rate 16000", SF_FORMAT_RAW | SF_FORMAT_ALAW, 16000, 0, 1},
        {"out.sln", "--format s16", SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 8000, 0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out + " " + c.options);
        const CommandResult run = RunCommand(pla("render list.pla " + c.out + " " + c.options));
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        SF_INFO info{};
        if (c.tag == 0) {
            info = {0, c.rate, 1, c.format, 0, 0};
        } else {
            const Bytes bytes = ReadFileBytes(data.file(c.out));
            EXPECT_EQ(bytes[20] | bytes[21] << 8, c.tag);
        }
        const std::vector<float> mono = readBack(c.out, info);
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.samplerate, c.rate);
        EXPECT_EQ(info.channels, 1);
        std::vector<Piece> pieces;
        for (int p = 0; p < c.passes; ++p) {
            pieces.insert(pieces.end(), pass.begin(), pass.end());
        }
        expectPieces(mono, c.rate, pieces);
    }
}

TEST_F(QuillonPlaRenderTest, EightKiloHertzMuLawCarriesEachKindAtItsPitchAndVolume) {
    WriteToneWave(data.file("Wave Files/tone.wav"), 440, 0.5, {44100, 2}, 0.5);
    SmfWriter song;
    song.Program(0, 0);
    song.Note(0.0, 0.6, 69, 110);
    WriteBytes(data.file("Midi Files/a4.mid"), song.Bytes());
    const CdImage disc = WriteCdImage(data.path(), "disc", {{440.0, 0.4}, {660.0, 0.6}});
    makeList("list.pla", R"([{"kind": 102, "name": "tone.wav", "volume": 80},
        {"kind": 101, "name": "a4.mid", "volume": 100}, {"kind": 101, "name": "a4.mid",
         "volume": 50}, {"kind": 103, "name": "Track 2", "volume": 60}])");
    const CommandResult run =
        RunCommand(pla("render list.pla hold.wav", "QUILLON_CD_DEVICE=" + disc.cuePath));
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    // The MIDI item's own length, as playback's decoder makes it.
    EngineStatus status;
    auto midi = OfflineDecoder::OpenMidi(data.file("Midi Files/a4.mid"),
                                         "/usr/share/sounds/sf2/default-GM.sf2", 8000, status);
    ASSERT_TRUE(midi) << status.message;
    std::vector<float> block(2 * 8000);
    double midiSeconds = 0;
    while (std::size_t n = midi->Read(block.data(), 8000)) {
        midiSeconds += n / 8000.0;
    }
    const double trackSeconds = (disc.leadout - disc.trackStart[1]) / 75.0;
    SF_INFO info{};
    const std::vector<float> mono = readBack("hold.wav", info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_ULAW);
    EXPECT_EQ(info.samplerate, 8000);
    // A MIDI note's release dies into silence inside the item: so only the length says no
    // silence was added or lost at the joins.
    expectPieces(Slice(mono, 0, 4000), 8000, {{440, 0.5, -9.03 + VolumeDb(80)}});
    const std::size_t cdFirst = static_cast<std::size_t>((0.5 + 2 * midiSeconds) * 8000);
    EXPECT_NEAR(static_cast<double>(mono.size()), cdFirst + trackSeconds * 8000, 3.0);
    expectPieces(Slice(mono, cdFirst, mono.size()), 8000,
                 {{660, trackSeconds, -9.03 + VolumeDb(60)}});
    const auto midiLoud = Slice(mono, 4000 + 400, 3600);
    const auto midiSoft =
        Slice(mono, 4000 + static_cast<std::size_t>(midiSeconds * 8000) + 400, 3600);
    EXPECT_GT(GoertzelPower(midiLoud, 8000, 440.0), 10 * GoertzelPower(midiLoud, 8000, 466.2));
    EXPECT_GT(GoertzelPower(midiLoud, 8000, 440.0), 10 * GoertzelPower(midiLoud, 8000, 415.3));
    EXPECT_NEAR(RmsDb(midiLoud) - RmsDb(midiSoft), VolumeDb(100) - VolumeDb(50), 0.3);
}

TEST_F(QuillonPlaRenderTest, SkipsWhatCannotPlayAndLeavesOutAloneWhenNothingRenders) {
    WriteToneWave(data.file("Wave Files/a.wav"), 440, 0.5, {44100, 2}, 0.5);
    makeList("some.pla", R"([{"kind": 102, "name": "gone.wav", "volume": 50},
        {"kind": 103, "name": "Track 1", "volume": 50}, {"kind": 102, "name": "a.wav",
         "volume": 100}])");
    const std::string noDrive = "QUILLON_CD_DEVICE=" + data.file("none.cue");
    CommandResult run = RunCommand(pla("render some.pla out.ulaw", noDrive));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("gone.wav: The file was not found"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Track 1"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(data.file("out.ulaw")).size(), 4000u);

    makeList("none.pla", R"([{"kind": 102, "name": "gone.wav", "volume": 50},
        {"kind": 103, "name": "Track 1", "volume": 50},
        {"kind": 102, "name": "a.wav", "volume": 100, "loopCount": 0}])");
    run = RunCommand(pla("render none.pla out.ulaw", noDrive));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("nothing to render"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(data.file("out.ulaw")).size(), 4000u) << "the old file stays";
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(data.path())) {
        ++files;
    }
    EXPECT_EQ(files, 5u) << "two folders, two lists, the old rendering: no temporary file left";

    for (const char* usage : {"render some.pla", "render some.pla x.wav --rate 11025",
                              "render some.pla x.wav --format mp3",
                              "render some.pla x.ulaw "
                              "--format alaw",
                              "render some.pla x.wav --passes 0", "loudness"}) {
        EXPECT_EQ(RunCommand(pla(usage)).exitStatus, 2) << usage;
    }
}

TEST_F(QuillonPlaRenderTest, LoudnessOfTonesOfKnownLevelAndTheVolumesThatBalanceThem) {
    // A 1 kHz sine at peak 0.5 in both channels measures -6.02 LUFS (-3.01 for a full-scale
    // one in one channel), and its true peak is its peak.
    WriteToneWave(data.file("Wave Files/half.wav"), 1000, 3.0, {48000, 2}, 0.5);
    WriteToneWave(data.file("Wave Files/quarter.wav"), 1000, 3.0, {48000, 2}, 0.25);
    WriteToneWave(data.file("Wave Files/blip.wav"), 1000, 0.2, {48000, 2}, 0.5);
    makeList("list.pla", R"([{"kind": 102, "name": "half.wav", "volume": 100},
        {"kind": 102, "name": "half.wav", "volume": 50},
        {"kind": 102, "name": "quarter.wav", "volume": 100},
        {"kind": 102, "name": "blip.wav", "volume": 100},
        {"kind": 102, "name": "gone.wav", "volume": 100}])");
    const CommandResult run = RunCommand(pla("loudness --json list.pla"));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto report = nlohmann::json::parse(run.out);
    const auto& items = report["items"];
    ASSERT_EQ(items.size(), 5u);
    const double quietest = -6.02 + VolumeDb(50);
    EXPECT_NEAR(report["quietestLufs"].get<double>(), quietest, 0.1);
    const double expected[] = {-6.02, quietest, -12.04};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const double lufs = items[i]["loudnessLufs"];
        EXPECT_NEAR(lufs, expected[i], 0.1);
        EXPECT_NEAR(items[i]["truePeakDbtp"].get<double>(), expected[i], 0.1);
        // At its balanced volume the item measures as the quietest, to half a volume step.
        EXPECT_NEAR(lufs + items[i]["balancedChangeDb"].get<double>(), quietest, 0.15);
    }
    EXPECT_EQ(items[0]["balancedVolume"], 50) << "the same sound at 100 balances at 50";
    EXPECT_EQ(items[1]["balancedVolume"], 50);
    EXPECT_TRUE(items[3]["loudnessLufs"].is_null()) << "too short for a reading";
    EXPECT_NE(items[4]["error"].get<std::string>().find("not found"), std::string::npos);

    const CommandResult table = RunCommand(pla("loudness list.pla"));
    EXPECT_EQ(table.exitStatus, 0);
    EXPECT_NE(table.out.find("quietest"), std::string::npos) << table.out;
}

} // namespace
