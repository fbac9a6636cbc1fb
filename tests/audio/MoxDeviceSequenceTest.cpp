// The command sequences of the shared players and the recorder, sent to a stand-in of the
// command layer that writes them down: what each call sends, failures and what is left open
// after them. Then the reasons the players give for a failure over the real layer.

#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxRecorder.h"
#include "audio/MoxWavDevice.h"

#include "audio/CompletionNotice.h"
#include "model/MoxPlayListPlayer.h"
#include "platform/engine/SoundEngine.h"
#include "platform/mci/MciLayer.h"
#include "platform/wintypes/NotifyWindow.h"
#include "tests/audio/RecordingMciPort.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace testaudio;

namespace {

using Commands = std::vector<std::string>;

class NullWindow : public NotifyWindow {
public:
    void PostMessage(UINT, WPARAM, LPARAM) override {}
};

class MoxDeviceSequenceTest : public ::testing::Test {
protected:
    MoxDeviceEnvironment environment() { return environment(mci); }
    MoxDeviceEnvironment environment(MciPort& port) { return {&port, &dataFolder, &notifyWindow}; }

    RecordingMciPort mci;
    TempDir dir;
    std::string dataFolder = dir.path();
    NullWindow window;
    std::atomic<HWND> notifyWindow{&window};
};

TEST_F(MoxDeviceSequenceTest, ProbesOpenAndCloseAndTheirFailuresLeaveThePlayerNotReady) {
    mci.trackCount = 120;
    MoxCDDevice cd(environment());
    EXPECT_EQ(mci.take(), (Commands{"open type=516 flags=0x3000 -> 1",
                                    "status 1 flags=0x102 item=3", "close 1 flags=0x0"}));
    EXPECT_TRUE(cd.IsReady());
    EXPECT_EQ(cd.GetTrackCount(), 100u) << "capped at 100";

    mci.failNext(MCI_OPEN, 7);
    MoxCDDevice noDrive(environment());
    EXPECT_FALSE(noDrive.IsReady());
    EXPECT_EQ(noDrive.LastError(), "Unable to find the CD player for this PC");

    mci.take();
    mci.failNext(MCI_STATUS, 9);
    MoxCDDevice noDisc(environment());
    EXPECT_EQ(mci.take(), (Commands{"open type=516 flags=0x3000 -> 2",
                                    "status 2 flags=0x102 item=3 FAILS 9", "close 2 flags=0x0"}));
    EXPECT_FALSE(noDisc.IsReady());

    mci.failNext(MCI_CLOSE, 11);
    MoxCDDevice stuck(environment());
    EXPECT_FALSE(stuck.IsReady());

    // The sequencer's close result is not looked at; the wave player's is.
    mci.take();
    mci.failNext(MCI_CLOSE, 5);
    MoxMidDevice midi(environment());
    EXPECT_TRUE(midi.IsReady());
    EXPECT_EQ(mci.take(),
              (Commands{"open type=523 flags=0x3000 -> 4", "close 4 flags=0x0 FAILS 5"}));

    mci.failNext(MCI_CLOSE, 5);
    MoxWavDevice wave(environment());
    EXPECT_FALSE(wave.IsReady());

    mci.failNext(MCI_OPEN, 3);
    EXPECT_FALSE(MoxMidDevice(environment()).IsReady());
}

TEST_F(MoxDeviceSequenceTest, CdTrackPlaysFromItsStartToTheNextTrackModulo256) {
    MoxCDDevice cd(environment());
    mci.take();
    EXPECT_TRUE(cd.Play("Track 3"));
    EXPECT_EQ(mci.take(),
              (Commands{"open type=516 flags=0x3000 -> 2", "set 2 flags=0x400 format=10",
                        "play 2 flags=0x2000d from=3 to=4 callback=set"}));
    EXPECT_TRUE(cd.Play("Track 3"));
    EXPECT_TRUE(mci.take().empty()) << "a second Play while playing sends nothing";
    cd.Stop();
    EXPECT_EQ(mci.take(), (Commands{"stop 2 flags=0x2", "close 2 flags=0x2"}));
    cd.Stop();
    EXPECT_TRUE(mci.take().empty()) << "Stop while closed sends nothing";

    EXPECT_FALSE(cd.Play("Track"));
    EXPECT_FALSE(cd.Play("kcarT "));
    EXPECT_TRUE(mci.take().empty()) << "nothing but letters of \"Track \": nothing is sent";
    const std::vector<std::pair<const char*, std::string>> tracks = {
        {"Track X", "from=0 to=1"}, {"Track 12", "from=12 to=13"}, {"Track 255", "from=255 to=0"}};
    for (const auto& [name, range] : tracks) {
        cd.Play(name);
        const std::string play = mci.take().back();
        EXPECT_NE(play.find(" flags=0x2000d " + range + " "), std::string::npos) << play;
        cd.Stop();
        mci.take();
    }
}

TEST_F(MoxDeviceSequenceTest, CdFailuresAfterTheOpenCloseOrKeepTheDevice) {
    MoxCDDevice cd(environment());
    mci.take();
    mci.failNext(MCI_SET, 4);
    EXPECT_FALSE(cd.Play("Track 1"));
    EXPECT_EQ(mci.take(), (Commands{"open type=516 flags=0x3000 -> 2",
                                    "set 2 flags=0x400 format=10 FAILS 4", "close 2 flags=0x0"}));
    EXPECT_EQ(cd.LastError(), "Unable to communicate with the CD player in this PC<error 4>");

    mci.failNext(MCI_PLAY, 6);
    EXPECT_FALSE(cd.Play("Track 2"));
    EXPECT_EQ(cd.LastError(), "Error playing track<error 6>");
    mci.take();
    cd.Stop();
    EXPECT_EQ(mci.take(), (Commands{"stop 3 flags=0x2", "close 3 flags=0x2"}))
        << "a failed play leaves the device open until Stop";
}

TEST_F(MoxDeviceSequenceTest, FilesAreFoundInTheirFoldersWhateverTheCase) {
    std::filesystem::create_directories(dir.file("WAVE FILES"));
    std::filesystem::create_directories(dir.file("Midi Files"));
    WriteFileBytes(dir.file("WAVE FILES/hello.wav"), {});
    WriteFileBytes(dir.file("Midi Files/Tune.MID"), {});
    MoxWavDevice wave(environment());
    auto midi = std::make_unique<MoxMidDevice>(environment());
    mci.take();

    EXPECT_TRUE(wave.Play("HELLO.WAV"));
    EXPECT_EQ(mci.take(), (Commands{"open type=522 flags=0x3200 element=" +
                                        dir.file("WAVE FILES/hello.wav") + " -> 3",
                                    "play 3 flags=0x20001 callback=set"}));
    EXPECT_TRUE(midi->Play("tune.mid"));
    EXPECT_EQ(mci.take().front(),
              "open type=523 flags=0x3200 element=" + dir.file("Midi Files/Tune.MID") + " -> 4");
    wave.Stop();
    midi.reset(); // destroyed while playing: stopped
    EXPECT_EQ(mci.take(), (Commands{"stop 3 flags=0x2", "close 3 flags=0x2", "stop 4 flags=0x2",
                                    "close 4 flags=0x2"}));
}

TEST_F(MoxDeviceSequenceTest, NamesThatLeaveTheirFolderAreRefused) {
    MoxWavDevice wave(environment());
    MoxMidDevice midi(environment());
    mci.take();
    for (const char* name : {"../secret.wav", "sub/x.wav", "..", "a\\b.wav", ""}) {
        EXPECT_FALSE(wave.Play(name)) << name;
        EXPECT_FALSE(midi.Play(name)) << name;
        EXPECT_NE(wave.LastError().find("not a bare file name"), std::string::npos) << name;
    }
    EXPECT_TRUE(mci.take().empty());
}

TEST_F(MoxDeviceSequenceTest, AFileThatDoesNotOpenIsClosedButOneThatDoesNotPlayStaysOpen) {
    MoxMidDevice midi(environment());
    MoxWavDevice wave(environment());
    mci.take();
    mci.failNext(MCI_OPEN, 275);
    EXPECT_FALSE(midi.Play("missing.mid"));
    EXPECT_EQ(midi.LastError(), "Unable to find the Midi file player for this PC<error 275>");
    mci.take();
    midi.Stop();
    EXPECT_TRUE(mci.take().empty());

    mci.failNext(MCI_PLAY, 8);
    EXPECT_FALSE(wave.Play("a.wav"));
    EXPECT_EQ(wave.LastError(), "Unable to play the Wave file:  Reason: <error 8>");
    EXPECT_FALSE(wave.Play("a.wav")) << "still open: the second Play sends nothing";
    EXPECT_EQ(mci.take().size(), 2u);
    EXPECT_TRUE(mci.IsDeviceOpen(3));
    wave.Stop();
    EXPECT_FALSE(mci.IsDeviceOpen(3));

    mci.failNext(MCI_OPEN, 275);
    EXPECT_FALSE(wave.Play("b.wav"));
    EXPECT_EQ(wave.LastError(), "Unable to find the Wave file player for this PC")
        << "the wave player adds no error text to a failed open";
}

TEST_F(MoxDeviceSequenceTest, NoticesGoToTheWindowOfTheMomentAndStaleOnesAreDropped) {
    MoxPlayListPlayer player;
    MoxWavDevice wave(environment());
    notifyWindow = nullptr;
    wave.Play("a.wav");
    EXPECT_EQ(mci.take().back(), "play 2 flags=0x20001 callback=none");
    wave.Stop();
    notifyWindow = &window;
    wave.Play("a.wav"); // device 3
    EXPECT_TRUE(ForwardCompletionNotice(mci, player, 0x0001, 3));
    wave.Stop();
    EXPECT_FALSE(ForwardCompletionNotice(mci, player, 0x0001, 3))
        << "a success notice that arrives after its device was closed is stale";
}

// Every play asks for the near-end notice (0x20000) besides its completion notice. A cue plays
// after what a player plays or has cued last (0x10000), whichever player that is; Promote
// closes what the first cue followed on its own player; Stop closes the cues with the item;
// a cue that does not play leaves nothing open.
TEST_F(MoxDeviceSequenceTest, CuesFollowTheLastPlayOfAPlayerAndStopTakesThemBack) {
    MoxWavDevice wave(environment());
    MoxCDDevice cd(environment());
    mci.take();
    EXPECT_FALSE(cd.Cue("Track 2", wave)) << "nothing plays: nothing to follow";
    ASSERT_TRUE(wave.Play("a.wav")); // device 3
    ASSERT_TRUE(wave.Cue("b.wav", wave));
    ASSERT_TRUE(cd.Cue("Track 2", wave));
    const std::string folder = dir.file("Wave Files/");
    EXPECT_EQ(mci.take(),
              (Commands{"open type=522 flags=0x3200 element=" + folder + "a.wav -> 3",
                        "play 3 flags=0x20001 callback=set",
                        "open type=522 flags=0x3200 element=" + folder + "b.wav -> 4",
                        "play 4 flags=0x30001 after=3 callback=set",
                        "open type=516 flags=0x3000 -> 5", "set 5 flags=0x400 format=10",
                        "play 5 flags=0x3000d from=2 to=3 after=4 callback=set"}));
    wave.Promote();
    EXPECT_EQ(mci.take(), (Commands{"stop 3 flags=0x2", "close 3 flags=0x2"}));
    ASSERT_TRUE(wave.Cue("c.wav", cd));
    EXPECT_EQ(mci.take().back(), "play 6 flags=0x30001 after=5 callback=set");
    cd.Uncue();
    wave.Stop();
    EXPECT_EQ(mci.take(), (Commands{"stop 5 flags=0x2", "close 5 flags=0x2", "stop 4 flags=0x2",
                                    "close 4 flags=0x2", "stop 6 flags=0x2", "close 6 flags=0x2"}));

    ASSERT_TRUE(wave.Play("a.wav")); // device 7
    mci.failNext(MCI_PLAY, 8);
    EXPECT_FALSE(wave.Cue("b.wav", wave));
    EXPECT_EQ(wave.LastError(), "Unable to play the Wave file:  Reason: <error 8>");
    EXPECT_FALSE(mci.IsDeviceOpen(8));
    wave.Stop();
    EXPECT_FALSE(mci.IsDeviceOpen(7));
}

class MoxRecorderTest : public MoxDeviceSequenceTest {
protected:
    MoxRecorderTest() { std::filesystem::create_directories(dir.file("Wave Files")); }

    std::string working() { return dir.file("Wave Files/~quilon.wa~"); }
    /// Open, format and record on the given device.
    static Commands start(int device, int rate = 44100, int bits = 8) {
        const std::string id = std::to_string(device);
        const int align = bits / 8;
        return {"open type=522 flags=0x3200 element= -> " + id,
                "set " + id + " flags=0x3f0000 tag=1 channels=1 rate=" + std::to_string(rate) +
                    " bytes=" + std::to_string(rate * align) + " align=" + std::to_string(align) +
                    " bits=" + std::to_string(bits) + " callback=none",
                "record " + id + " flags=0x1 callback=set"};
    }
    static Commands stopAndSave(int device, const std::string& file) {
        const std::string id = std::to_string(device);
        return {"stop " + id + " flags=0x2", "save " + id + " flags=0x102 file=" + file,
                "close " + id + " flags=0x2"};
    }

    DWORD quality = 1;
};

// Record while recording and Stop while stopped send nothing; a quality changed while
// recording is for the next recording.
TEST_F(MoxRecorderTest, EachQualityRecordsItsFormatAndRepeatedCallsSendNothing) {
    MoxRecorder recorder(environment(), quality);
    EXPECT_TRUE(recorder.IsReady());
    EXPECT_FALSE(recorder.Play("anything.wav"));
    recorder.Stop();
    EXPECT_TRUE(mci.take().empty()) << "neither the probe nor Play nor Stop sends anything";

    struct Case {
        DWORD quality;
        int rate;
        int bits;
    };
    int device = 1;
    for (Case c : {Case{0, 22050, 8}, Case{1, 44100, 8}, Case{2, 44100, 16}, Case{3, 44100, 8},
                   Case{0xFFFFFFFF, 44100, 8}}) {
        SCOPED_TRACE(c.quality);
        quality = c.quality;
        recorder.Record();
        EXPECT_EQ(mci.take(), start(device, c.rate, c.bits));
        EXPECT_TRUE(recorder.IsRecording());
        quality = c.quality == 2 ? 0 : 2; // a format of its own: for the next recording
        recorder.Record();
        recorder.Stop();
        recorder.Stop();
        EXPECT_EQ(mci.take(), stopAndSave(device, working()));
        EXPECT_FALSE(recorder.IsRecording());
        EXPECT_FALSE(mci.IsDeviceOpen(static_cast<MCIDEVICEID>(device)));
        ++device;
    }
    EXPECT_EQ(recorder.LastError(), "");
}

TEST_F(MoxRecorderTest, EachFailureHasItsTextAndClosesWhatItOpened) {
    MoxRecorder recorder(environment(), quality);
    mci.failNext(MCI_OPEN, 7);
    recorder.Record();
    EXPECT_EQ(mci.take(), (Commands{"open type=522 flags=0x3200 element= FAILS 7"}));
    EXPECT_EQ(recorder.LastError(),
              "Unable to open this PC's WAVE device for recording. <error 7>");

    // A failed format or record closes the device; nothing is left for Stop.
    struct Case {
        UINT message;
        std::size_t failing;
        const char* text;
    };
    MCIERROR error = 8;
    int device = 1;
    for (Case c :
         {Case{MCI_SET, 1,
               "Unable to set the preferred recording quality for this "
               "PC's WAVE device. <error 8>"},
          Case{MCI_RECORD, 2, "Unable to record using this PC's WAVE device. <error 9>"}}) {
        mci.failNext(c.message, error++);
        recorder.Record();
        Commands expected = start(device);
        expected.resize(c.failing + 1);
        expected.back() += " FAILS " + std::to_string(error - 1);
        expected.push_back("close " + std::to_string(device) + " flags=0x2");
        EXPECT_EQ(mci.take(), expected);
        EXPECT_EQ(recorder.LastError(), c.text);
        EXPECT_FALSE(recorder.IsRecording());
        recorder.Stop();
        EXPECT_TRUE(mci.take().empty());
        ++device;
    }

    // After failures the next recording goes through; a failed save is not reported.
    mci.failNext(MCI_SAVE, 10);
    recorder.Record();
    recorder.Stop();
    Commands expected = start(3);
    for (const std::string& command : stopAndSave(3, working())) {
        expected.push_back(command);
    }
    expected[4] += " FAILS 10";
    EXPECT_EQ(mci.take(), expected);
    EXPECT_FALSE(mci.IsDeviceOpen(3));
    EXPECT_EQ(recorder.LastError(), "Unable to record using this PC's WAVE device. <error 9>")
        << "the latest failure text stays until the next failure";
}

TEST_F(MoxRecorderTest, KeptRecordingsAreNotOverwrittenAndNamesMustBeBare) {
    MoxRecorder recorder(environment(), quality);
    // The dialog keeps a recording by renaming the working file; the next recording goes to
    // the working name again.
    recorder.Record();
    recorder.Stop();
    EXPECT_TRUE(recorder.SetFileName("Welcome.wav"));
    EXPECT_EQ(recorder.GetFilePath(), dir.file("Wave Files/Welcome.wav"));
    mci.take();
    recorder.Record();
    EXPECT_EQ(recorder.GetFileName(), "~quilon.wa~");
    recorder.Stop();
    EXPECT_EQ(mci.take().at(4), "save 2 flags=0x102 file=" + working());

    EXPECT_TRUE(recorder.SetFileName(std::string(255, 'a')));
    EXPECT_FALSE(recorder.SetFileName(std::string(256, 'b')));
    EXPECT_EQ(recorder.GetFileName(), std::string(255, 'a')) << "a refused name changes nothing";
    EXPECT_EQ(recorder.GetFilePath(), "") << "too long as a path";
    for (const char* name : {"", ".", "..", "../x.wav", "sub/x.wav", "a\\b.wav"}) {
        EXPECT_FALSE(recorder.SetFileName(name)) << name;
    }
}

TEST_F(MoxRecorderTest, AWorkingPathTooLongIsRefusedNotCut) {
    // A data folder of 250 characters: the working path needs 250 + 23.
    std::string deep = dir.path();
    while (deep.size() < 250) {
        deep += "/" + std::string(std::min<std::size_t>(40, 250 - deep.size() - 1), 'd');
    }
    std::filesystem::create_directories(deep);
    dataFolder = deep;
    MoxRecorder recorder(environment(), quality);
    recorder.Record();
    EXPECT_TRUE(mci.take().empty()) << "nothing is recorded that could not be saved";
    EXPECT_EQ(recorder.LastError().rfind("Unable to open this PC's WAVE device for recording. ", 0),
              0u)
        << recorder.LastError();
    EXPECT_FALSE(recorder.IsRecording());
}

TEST_F(MoxRecorderTest, TheWaveFolderIsFoundWhateverItsCaseOrMadeWhenMissing) {
    std::filesystem::remove(dir.file("Wave Files"));
    std::filesystem::create_directories(dir.file("WAVE FILES"));
    WriteFileBytes(dir.file("WAVE FILES/~QUILON.WA~"), {});
    {
        MoxRecorder recorder(environment(), quality);
        recorder.Record();
        recorder.Stop();
        EXPECT_EQ(mci.take().at(4),
                  "save 1 flags=0x102 file=" + dir.file("WAVE FILES/~QUILON.WA~"));
    }
    std::filesystem::remove_all(dir.file("WAVE FILES"));
    MoxRecorder recorder(environment(), quality);
    recorder.Record();
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("Wave Files")))
        << "a recording is not lost for want of its folder";
    recorder.Stop();
    EXPECT_EQ(mci.take().at(4), "save 2 flags=0x102 file=" + working());
}

TEST_F(MoxRecorderTest, NoticesGoToTheWindowOfTheMomentAndTheDestructorSaves) {
    notifyWindow = nullptr;
    {
        MoxRecorder recorder(environment(), quality);
        recorder.Record();
        EXPECT_EQ(mci.take().back(), "record 1 flags=0x1 callback=none");
    }
    EXPECT_EQ(mci.take(), stopAndSave(1, working())) << "a recording in progress is saved at exit";
}

// Why an item did not play, over the real command layer and engine (SDL's "dummy" output): the
// file and the real reason, while LastError keeps its fixed texts.
class MoxDeviceReasonTest : public MoxDeviceSequenceTest {
protected:
    MoxDeviceReasonTest() {
        std::filesystem::create_directories(dir.file("Wave Files"));
        std::filesystem::create_directories(dir.file("Midi Files"));
    }
    static SoundEngine::Config DummyOutput() {
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        return {};
    }
    SoundEngine engine{DummyOutput()};
};

TEST_F(MoxDeviceReasonTest, AFailedItemNamesItsFileAndTheRealReason) {
    const std::string wave = dir.file("Wave Files/");
    WriteFileBytes(wave + "text.wav", std::vector<std::uint8_t>(200, 'a'));
    WriteToneWave(wave + "whole.wav", 440.0, 0.2);
    Bytes header = ReadFileBytes(wave + "whole.wav");
    header.resize(30);
    WriteFileBytes(wave + "damaged.wav", header);
    Bytes g726 = ReadFileBytes(wave + "whole.wav");
    g726[20] = 0x64; // format tag 0x0064, G.726 ADPCM
    WriteFileBytes(wave + "g726.wav", g726);
    WriteFileBytes(dir.file("Midi Files/bad.mid"), std::vector<std::uint8_t>(100, 0x5A));
    SmfWriter song;
    song.Note(0.0, 0.2, 60);
    WriteFileBytes(dir.file("Midi Files/good.mid"), song.Bytes());

    MciLayer layer(engine, {"/usr/share/sounds/sf2/default-GM.sf2", dir.file("none.cue")});
    MoxWavDevice waves(environment(layer));
    MoxMidDevice midi(environment(layer));
    struct Case {
        MoxDevice* device;
        const char* name;
        std::string reason; // all of it
        std::string lastError;
    };
    const std::string noWavePlayer = "Unable to find the Wave file player for this PC";
    const std::string noMidiPlayer = "Unable to find the Midi file player for this PC";
    const Case cases[] = {
        {&waves, "gone.wav", wave + "gone.wav: The file was not found", noWavePlayer},
        {&waves, "text.wav", wave + "text.wav: The file is not a sound file", noWavePlayer},
        {&waves, "damaged.wav",
         wave + "damaged.wav: The sound file is damaged (Error in WAV file. No 'data' chunk "
                "marker)",
         noWavePlayer},
        {&waves, "g726.wav",
         wave + "g726.wav: The wave file's sound is in an encoding that cannot be played "
                "(format tag 0x0064)",
         noWavePlayer},
        {&midi, "bad.mid", dir.file("Midi Files/bad.mid") + ": The file is not a MIDI file",
         noMidiPlayer + "The file is damaged or not in a format that can be played."},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.device->Play(c.name)) << c.name;
        EXPECT_EQ(c.device->LastReason(), c.reason);
        EXPECT_EQ(c.device->LastError(), c.lastError);
        c.device->Stop();
    }

    // Without the SoundFont, the sequencer says so (and the CD has no image).
    MciLayer noFont(engine, {dir.file("gone.sf2"), dir.file("none.cue")});
    MoxMidDevice fontless(environment(noFont));
    EXPECT_FALSE(fontless.IsReady());
    EXPECT_EQ(fontless.LastReason(), "The SoundFont " + dir.file("gone.sf2") + " was not found");
    EXPECT_FALSE(fontless.Play("good.mid"));
    EXPECT_EQ(fontless.LastReason(), dir.file("Midi Files/good.mid") + ": The SoundFont " +
                                         dir.file("gone.sf2") + " was not found");
    MoxCDDevice cd(environment(noFont));
    EXPECT_EQ(cd.LastReason(), dir.file("none.cue") + ": The CD image (CUE and BIN) was not found");
}

} // namespace
