// The recorder's command sequences, sent to a stand-in of the command layer that writes them
// down: formats of each quality, the working file, failures and what is left open after them.

#include "audio/MoxRecorder.h"

#include "platform/wintypes/NotifyWindow.h"
#include "tests/audio/RecordingMciPort.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Commands = std::vector<std::string>;

class NullWindow : public NotifyWindow {
public:
    void PostMessage(UINT, WPARAM, LPARAM) override {}
};

class MoxRecorderTest : public ::testing::Test {
protected:
    MoxRecorderTest() { std::filesystem::create_directories(dir.file("Wave Files")); }

    MoxDeviceEnvironment environment() { return {&mci, &dataFolder, &notifyWindow}; }
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

    RecordingMciPort mci;
    TempDir dir;
    std::string dataFolder = dir.path();
    NullWindow window;
    std::atomic<HWND> notifyWindow{&window};
    DWORD quality = 1;
};

} // namespace

TEST_F(MoxRecorderTest, EachQualityRecordsItsFormat) {
    MoxRecorder recorder(environment(), quality);
    EXPECT_TRUE(recorder.IsReady());
    EXPECT_FALSE(recorder.Play("anything.wav"));
    EXPECT_TRUE(mci.take().empty()) << "neither the probe nor Play sends anything";

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
        recorder.Stop();
        EXPECT_EQ(mci.take(), stopAndSave(device, working()));
        EXPECT_FALSE(recorder.IsRecording());
        EXPECT_FALSE(mci.IsDeviceOpen(static_cast<MCIDEVICEID>(device)));
        ++device;
    }
    EXPECT_EQ(recorder.LastError(), "");
}

TEST_F(MoxRecorderTest, RecordWhileOpenAndStopWhileClosedSendNothing) {
    MoxRecorder recorder(environment(), quality);
    recorder.Stop();
    EXPECT_TRUE(mci.take().empty()) << "Stop without Record";
    quality = 0;
    recorder.Record();
    mci.take();
    quality = 2; // takes effect at the next recording, not this one
    recorder.Record();
    EXPECT_TRUE(mci.take().empty()) << "a second Record while recording";
    recorder.Stop();
    EXPECT_EQ(mci.take(), stopAndSave(1, working()));
    recorder.Stop();
    EXPECT_TRUE(mci.take().empty()) << "a second Stop";
    recorder.Record();
    EXPECT_EQ(mci.take(), start(2, 44100, 16));
    recorder.Stop();
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
