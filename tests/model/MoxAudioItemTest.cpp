#include "model/MoxCD.h"
#include "model/MoxMid.h"
#include "model/MoxWav.h"

#include "platform/classlib/CArchive.h"
#include "platform/classlib/CFile.h"
#include "tests/model/TestDevices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using Log = std::vector<std::string>;

TEST(MoxAudioItemTest, WaveAndMidiItemsStartAndStopTheirPlayerOnce) {
    TestOutputs t;
    {
        MoxWav wav(t.outputs().wave, "hello.wav");
        wav.SetVolume(50);
        EXPECT_TRUE(wav.Play());
        EXPECT_TRUE(wav.Play()) << "already started: still sounding";
        wav.Stop();
        wav.Stop();
        MoxMid idle(t.outputs().midi, "idle.mid");
        idle.Stop();
        MoxMid playing(t.outputs().midi, "tune.mid");
        playing.Play();
    } // destroying a playing item stops it; an idle one is left alone
    EXPECT_EQ(t.log.entries(), (Log{"wave volume 50", "wave play hello.wav", "wave stop",
                                    "midi volume 0", "midi play tune.mid", "midi stop"}));
    MoxWav noPlayer;
    EXPECT_FALSE(noPlayer.Play());
}

TEST(MoxAudioItemTest, AFailedStartStillStopsThePlayer) {
    TestOutputs t;
    t.wave.playResult = false;
    MoxWav wav(t.outputs().wave, "missing.wav");
    EXPECT_FALSE(wav.Play());
    EXPECT_FALSE(wav.Play());
    EXPECT_EQ(t.wave.plays, 1);
    wav.Stop();
    EXPECT_EQ(t.wave.stops, 1) << "the player may be left open by a failed start";
}

TEST(MoxAudioItemTest, CdItemsPassEveryCallToThePlayer) {
    TestOutputs t;
    MoxCD cd(t.outputs().cd, "Track 7");
    cd.SetVolume(100);
    cd.Play();
    cd.Play();
    cd.Stop();
    cd.Stop();
    EXPECT_EQ(t.log.entries(), (Log{"cd volume 100", "cd play Track 7", "cd volume 100",
                                    "cd play Track 7", "cd stop", "cd stop"}));
}

class MoxObjectRecordTest : public ::testing::Test {
protected:
    Bytes store(CObject& object) {
        CFile file(dir.file("rec"), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        object.Serialize(ar);
        ar.Close();
        file.Close();
        return ReadFileBytes(dir.file("rec"));
    }
    /// Loads from bytes; returns how many bytes were left unread.
    std::uint64_t load(CObject& object, const Bytes& bytes) {
        WriteFileBytes(dir.file("rec"), bytes);
        CFile file(dir.file("rec"), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        object.Serialize(ar);
        return ar.GetBytesLeft();
    }
    TempDir dir;
};

TEST_F(MoxObjectRecordTest, ItemRecordPutsReservedBBeforeVolume) {
    TestOutputs t;
    MoxWav wav(t.outputs().wave, "hello.wav");
    wav.SetTitle("hello.wav");
    wav.SetLoopCount(2);
    wav.SetReservedA(7);
    wav.SetReservedB(9);
    wav.SetVolume(50);
    const Bytes expected = HexBytes("66000000 09 68656C6C6F2E776176 02000000 07000000"
                                    "09 68656C6C6F2E776176 09000000 32000000");
    EXPECT_EQ(store(wav), expected);

    // Every field differs, so a field read into the wrong place shows when stored again.
    MoxWav back;
    EXPECT_EQ(load(back, expected), 0u);
    EXPECT_EQ(store(back), expected);
}

TEST_F(MoxObjectRecordTest, UnknownKindReadsOnlyItsFourBytes) {
    for (LONG kind : {99, 104, -1}) {
        MoxObject object;
        object.SetName("kept");
        Bytes bytes = HexBytes("00000000 03 616263");
        bytes[0] = static_cast<std::uint8_t>(kind);
        bytes[1] = bytes[2] = bytes[3] = static_cast<std::uint8_t>(kind < 0 ? 0xFF : 0);
        EXPECT_EQ(load(object, bytes), 4u) << kind;
        EXPECT_EQ(object.GetKind(), kind);
        EXPECT_EQ(object.GetName(), "kept");
    }
}

} // namespace
