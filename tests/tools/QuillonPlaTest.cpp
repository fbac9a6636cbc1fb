// quillon-pla's commands as a script uses them: play lists dumped and made, announcements
// cleaned in place, lists rendered for phone systems (read back with libsndfile and measured)
// and their loudness balanced. Bad input gets status 1 and leaves files alone; bad usage 2.

#include "tests/support/audio/AudioAnalysis.h"
#include "tests/support/audio/RecordingSupport.h"
#include "tests/tools/HeadlessFixture.h"

#include <nlohmann/json.hpp>

namespace {

using QuillonPlaTest = HeadlessFixture;

const Bytes kWorkedExample = HexBytes("64000000 0A 433A5C515C412E706C61 01000000 00000000"
                                      "05 412E706C61 01000000"
                                      "66000000 09 68656C6C6F2E776176 02000000 00000000"
                                      "09 68656C6C6F2E776176 01000000 32000000");

/// The level a volume gives, by the documented fader curve: -10 dB per halving of v × 655.
double VolumeDb(double volume) {
    return 10.0 * std::log2(volume * 655 / 65535);
}

TEST_F(QuillonPlaTest, DumpsTheWorkedExampleAndMakeAndDumpKeepEveryField) {
    WriteFileBytes(data.file("A.pla"), kWorkedExample);
    const CommandResult dump = pla("dump A.pla");
    ASSERT_EQ(dump.exitStatus, 0) << dump.err;
    EXPECT_EQ(nlohmann::json::parse(dump.out), nlohmann::json::parse(R"({
        "kind": 100, "name": "C:\\Q\\A.pla", "title": "A.pla", "loopCount": 1, "reservedA": 0,
        "count": 1, "items": [{"kind": 102, "name": "hello.wav", "title": "hello.wav",
                               "loopCount": 2, "reservedA": 0, "reservedB": 1, "volume": 50}]})"));
    // Every field of its own value comes back as it went in (the bytes of a list are
    // MoxPlayListTest's).
    const auto full = nlohmann::json::parse(R"({
        "kind": 100, "name": "C:\\Hold.pla", "title": "Hold", "loopCount": 3, "reservedA": 7,
        "count": 1, "items": [{"kind": 101, "name": "Caf\u00e9.mid", "title": "Tune",
                               "loopCount": 4, "reservedA": 5, "reservedB": 6, "volume": 80}]})");
    ASSERT_EQ(pla("make full.pla", "", full.dump()).exitStatus, 0);
    EXPECT_EQ(nlohmann::json::parse(pla("dump full.pla").out), full);
    // What is left out is filled in as the editor saves: the list's name and title from its
    // path, an item's title from its name.
    makeList(R"([{"kind": 103, "name": "Track 2"}])");
    EXPECT_EQ(nlohmann::json::parse(pla("dump list.pla").out), nlohmann::json::parse(R"({
        "kind": 100, "name": "list.pla", "title": "list.pla", "loopCount": 1, "reservedA": 0,
        "count": 1, "items": [{"kind": 103, "name": "Track 2", "title": "Track 2", "loopCount": 1,
                               "reservedA": 0, "reservedB": 1, "volume": 0}]})"));
}

// Both programs: bad input gets status 1 and a message that names it, and leaves files alone;
// bad usage gets 2.
TEST_F(QuillonPlaTest, BadInputGetsStatusOneAndLeavesFilesAloneBadUsageTwo) {
    Bytes cut = kWorkedExample;
    cut.resize(60);
    WriteFileBytes(data.file("cut.pla"), cut);
    WriteFileBytes(data.file("A.pla"), kWorkedExample);
    WriteFileBytes(data.file("text.wav"), HexBytes("68656C6C6F"));
    WriteFileBytes(data.file("broken.pla"), HexBytes("64000000 FF FF FF 00 00 00 10"));
    const std::string play = QUILLON_PLAY " ";
    const struct {
        std::string command;
        const char* input;
        int status;
        std::string says;
    } cases[] = {
        {"dump cut.pla", "", 1, "cut.pla"},
        {"dump none.pla", "", 1, "none.pla\" was not found"},
        {"make A.pla", "not json", 1, "JSON"},
        {"make A.pla", R"({"items": [{"kind": 99, "name": "x"}]})", 1, "\"kind\""},
        {"make A.pla", R"({"items": [{"kind": 102}]})", 1, "\"name\""},
        {"make A.pla", R"({"items": [{"kind": 102, "name": "x", "volume": -1}]})", 1, "volume"},
        {"make A.pla", R"({"loopCount": "many"})", 1, "loopCount"},
        {"clean --denoise text.wav", "", 1, "text.wav"},
        {"frobnicate x", "", 2, "usage"},
        {"clean", "", 2, "usage"},
        {"clean --louder text.wav", "", 2, "usage"},
        {"clean text.wav A.pla", "", 2, "usage"},
        {"render A.pla", "", 2, "usage"},
        {"render A.pla x.wav --rate 11025", "", 2, "usage"},
        {"render A.pla x.wav --format mp3", "", 2, "usage"},
        {"render A.pla x.ulaw --format alaw", "", 2, "usage"},
        {"render A.pla x.wav --passes 0", "", 2, "usage"},
        {"loudness", "", 2, "usage"},
        {play + "broken.pla", "", 1, "broken.pla"},
        {play + "--data " + data.path() + " nowhere.pla", "", 1, "nowhere.pla\" was not found"},
        {play, "", 1, "no preferred play list is set in " + data.file("config")},
        {play + "--loops 0 x.pla", "", 2, "usage"},
        {play + "--loops -1 x.pla", "", 2, "usage"},
        {play + "--frobnicate x.pla", "", 2, "usage"},
        {play + "a.pla b.pla", "", 2, "usage"},
    };
    for (const auto& c : cases) {
        const CommandResult run = pla(c.command, "", c.input);
        EXPECT_EQ(run.exitStatus, c.status) << c.command;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.command << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << c.command;
    }
    EXPECT_EQ(ReadFileBytes(data.file("A.pla")), kWorkedExample);
    EXPECT_EQ(ReadFileBytes(data.file("cut.pla")), cut);
    EXPECT_EQ(ReadFileBytes(data.file("text.wav")), HexBytes("68656C6C6F"));
}

// The processing itself is CleanRecordingTest's, bad input too; here the command's part: the
// file is replaced in place.
TEST_F(QuillonPlaTest, CleanProcessesInPlace) {
    WriteToneWave(data.file("Take 1.wav"), 440, 2.0, {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
                  0.1);
    const Bytes before = ReadFileBytes(data.file("Take 1.wav"));
    const CommandResult clean = pla("clean --maximise 'Take 1.wav'");
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    EXPECT_NE(clean.out.find("-16.0 LUFS"), std::string::npos) << clean.out;
    EXPECT_NE(ReadFileBytes(data.file("Take 1.wav")), before);
    EXPECT_EQ(ReadFileBytes(data.file("Take 1.wav")).size(), before.size()) << "still 8-bit";
}

struct Piece {
    double frequency;
    double seconds;
    double rmsDb;
};

/// The pieces lie end to end: each at its pitch and level, and no silence anywhere.
void expectPieces(const std::vector<float>& mono, int rate, const std::vector<Piece>& pieces) {
    double at = 0;
    for (const Piece& piece : pieces) {
        // Away from the joins, where one tone gives way to the next.
        const auto part = Slice(mono, static_cast<std::size_t>((at + 0.03) * rate),
                                static_cast<std::size_t>((piece.seconds - 0.06) * rate));
        SCOPED_TRACE(at);
        EXPECT_NEAR(MedianFrequency(part, rate), piece.frequency, 1.0);
        EXPECT_NEAR(RmsDb(part), piece.rmsDb, 0.3);
        at += piece.seconds;
    }
    EXPECT_NEAR(static_cast<double>(mono.size()), at * rate, 3.0);
    const auto segments = FindSegments(mono, rate, -40.0, 0.002);
    ASSERT_EQ(segments.size(), 1u) << "a gap between items";
    EXPECT_LE(segments[0].first, 2u);
}

TEST_F(QuillonPlaTest, RenderingsInEveryFormatReadBackWithTheirHeaderRateOrderLoopsAndLevels) {
    WriteToneWave(data.file("Wave Files/a.wav"), 440, 0.4, {44100, 2}, 0.5);
    WriteToneWave(data.file("Wave Files/b.wav"), 660, 0.3, {22050, 1}, 0.5);
    const CdImage disc = WriteCdImage(data.path(), "disc", {{440.0, 0.4}, {550.0, 0.6}});
    makeList(R"([{"kind": 102, "name": "a.wav", "volume": 100, "loopCount": 2},
        {"kind": 102, "name": "B.WAV", "volume": 50}, {"kind": 103, "name": "Track 2",
         "volume": 60}, {"kind": 102, "name": "a.wav", "volume": 100, "loopCount": 0}])");
    const double loud = -9.03 + VolumeDb(100);
    const double trackSeconds = (disc.leadout - disc.trackStart[1]) / 75.0;
    const std::vector<Piece> pass{{440, 0.4, loud},
                                  {440, 0.4, loud},
                                  {660, 0.3, -9.03 + VolumeDb(50)},
                                  {550, trackSeconds, -9.03 + VolumeDb(60)}};
    const struct {
        std::string out, options;
        int format, rate, passes;
    } cases[] = {
        {"out.wav", "", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1},
        {"out.wav", "--format alaw --rate 16000 --passes 2", SF_FORMAT_WAV | SF_FORMAT_ALAW, 16000,
         2},
        {"out.wav", "--format s16 --rate 44100", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1},
        {"out.ulaw", "", SF_FORMAT_RAW | SF_FORMAT_ULAW, 8000, 1},
        {"OUT.ALAW", "--rate 16000", SF_FORMAT_RAW | SF_FORMAT_ALAW, 16000, 1},
        {"out.sln", "--format s16", SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 8000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out + " " + c.options);
        const CommandResult run =
            pla("render list.pla " + c.out + " " + c.options, "QUILLON_CD_DEVICE=" + disc.cuePath);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        // A headerless file is read as what it should hold; a wave file says what it holds.
        const SoundFile out = ReadSoundFile(data.file(c.out), {c.rate, 1, c.format});
        EXPECT_EQ(out.format, c.format);
        EXPECT_EQ(out.rate, c.rate);
        EXPECT_EQ(out.channels, 1);
        std::vector<Piece> pieces;
        for (int p = 0; p < c.passes; ++p) {
            pieces.insert(pieces.end(), pass.begin(), pass.end());
        }
        expectPieces(out.samples, c.rate, pieces);
    }
}

// MIDI items go through the synthesizer's fader, not the wave fader of the table above.
TEST_F(QuillonPlaTest, RenderSkipsWhatCannotPlayAndLeavesOutAloneWhenNothingRenders) {
    SmfWriter song;
    song.Program(0, 0);
    song.Note(0.0, 0.6, 69, 110);
    WriteFileBytes(data.file("Midi Files/a4.mid"), song.Bytes());
    const std::string noDrive = "QUILLON_CD_DEVICE=" + data.file("none.cue");
    makeList(R"([{"kind": 102, "name": "gone.wav", "volume": 50},
        {"kind": 101, "name": "a4.mid", "volume": 100}, {"kind": 103, "name": "Track 1",
         "volume": 50}, {"kind": 101, "name": "a4.mid", "volume": 50}])");
    CommandResult run = pla("render list.pla hold.wav", noDrive);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("gone.wav: The file was not found"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Track 1"), std::string::npos) << run.err;
    // The same item twice with nothing between: the second half is the first at the lower
    // volume.
    const Bytes rendered = ReadFileBytes(data.file("hold.wav"));
    const std::vector<float> mono = ReadSoundFile(data.file("hold.wav")).samples;
    const std::size_t half = mono.size() / 2;
    EXPECT_NEAR(RmsDb(Slice(mono, 400, 3600)) - RmsDb(Slice(mono, half + 400, 3600)),
                VolumeDb(100) - VolumeDb(50), 0.3);

    makeList(R"([{"kind": 102, "name": "gone.wav", "volume": 50},
        {"kind": 103, "name": "Track 1", "volume": 50},
        {"kind": 101, "name": "a4.mid", "volume": 100, "loopCount": 0}])");
    run = pla("render list.pla hold.wav", noDrive);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("nothing to render"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(data.file("hold.wav")), rendered) << "the old file stays";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data.path()), {}), 5)
        << "three folders, the list, the old rendering: no temporary file left";
}

TEST_F(QuillonPlaTest, LoudnessOfTonesOfKnownLevelAndTheVolumesThatBalanceThem) {
    // A 1 kHz sine at peak 0.5 in both channels measures -6.02 LUFS, and its true peak is
    // its peak.
    WriteToneWave(data.file("Wave Files/half.wav"), 1000, 3.0, {48000, 2}, 0.5);
    WriteToneWave(data.file("Wave Files/quarter.wav"), 1000, 3.0, {48000, 2}, 0.25);
    WriteToneWave(data.file("Wave Files/blip.wav"), 1000, 0.2, {48000, 2}, 0.5);
    makeList(R"([{"kind": 102, "name": "half.wav", "volume": 100},
        {"kind": 102, "name": "half.wav", "volume": 50},
        {"kind": 102, "name": "quarter.wav", "volume": 100},
        {"kind": 102, "name": "blip.wav", "volume": 100},
        {"kind": 102, "name": "gone.wav", "volume": 100}])");
    const CommandResult run = pla("loudness --json list.pla");
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
    EXPECT_TRUE(items[3]["loudnessLufs"].is_null()) << "too short for a reading";
    EXPECT_NE(items[4]["error"].get<std::string>().find("not found"), std::string::npos);
    EXPECT_EQ(pla("loudness list.pla").exitStatus, 0) << "the table for people";
}

} // namespace
