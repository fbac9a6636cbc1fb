#include "model/MoxPlayList.h"

#include "model/MoxCD.h"
#include "model/MoxItemDevice.h"
#include "model/MoxItemOutputs.h"
#include "model/MoxMid.h"
#include "model/MoxVolumeFader.h"
#include "model/MoxWav.h"
#include "platform/classlib/CArchive.h"
#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using Log = std::vector<std::string>;

/// A player of the test's own that is its own fader too: it writes down what it is asked.
struct TestDevice : MoxItemDevice, MoxVolumeFader {
    TestDevice(std::string label, Log& log, bool ready = true)
        : label(std::move(label))
        , log(log)
        , ready(ready) {}
    bool IsReady() const override { return ready; }
    bool Play(const std::string& name) override {
        ++plays;
        log.push_back(label + " play " + name);
        return playResult;
    }
    void Stop() override {
        ++stops;
        log.push_back(label + " stop");
    }
    void ApplyVolume(std::uint32_t volume) override {
        log.push_back(label + " volume " + std::to_string(volume));
    }

    std::string label;
    Log& log;
    bool ready;
    bool playResult = true;
    int plays = 0;
    int stops = 0;
};

/// The three players, sharing one log; the CD player ready or not.
struct TestOutputs {
    explicit TestOutputs(bool cdReady = true)
        : cd("cd", log, cdReady) {}
    MoxItemOutputs outputs() { return {{&midi, &midi}, {&wave, &wave}, {&cd, &cd}}; }

    Log log;
    TestDevice midi{"midi", log};
    TestDevice wave{"wave", log};
    TestDevice cd;
};

// A list saved to C:\Q\A.pla holding one wave item hello.wav, loop count 2, volume 50.
const Bytes kOneWaveList = HexBytes("64000000 0A 433A5C515C412E706C61 01000000 00000000"
                                    "05 412E706C61 01000000"
                                    "66000000 09 68656C6C6F2E776176 02000000 00000000"
                                    "09 68656C6C6F2E776176 01000000 32000000");

/// A field as the archive writes it: a little-endian 32-bit number, or a byte-counted string.
struct Field {
    Field(LONG n) { // implicit, as are the others: fields are written as lists
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(static_cast<DWORD>(n) >> (8 * i)));
        }
    }
    Field(const std::string& s) {
        bytes.push_back(static_cast<std::uint8_t>(s.size()));
        for (const char c : s) {
            bytes.push_back(static_cast<std::uint8_t>(c));
        }
    }
    Field(const char* s)
        : Field(std::string(s)) {}
    Bytes bytes;
};

Bytes pack(std::initializer_list<Field> fields) {
    Bytes out;
    for (const Field& f : fields) {
        out.insert(out.end(), f.bytes.begin(), f.bytes.end());
    }
    return out;
}

/// An item record: kind, name, loop count, reserved A, title, reserved B, volume.
Bytes record(LONG kind, const std::string& name) {
    return pack({kind, name, 1, 0, name, 1, 100});
}

/// The records under a header whose fields all differ, so that a loader which drops or mixes
/// up a field does not save the same bytes again.
Bytes listOf(const std::vector<Bytes>& records) {
    Bytes out = pack({100, "C:\\Q\\L.pla", 5, 6, "L title", static_cast<LONG>(records.size())});
    for (const Bytes& r : records) {
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

class MoxPlayListTest : public ::testing::Test {
protected:
    Bytes save(MoxPlayList& list) {
        const std::string path = dir.file("saved.pla");
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        list.Serialize(ar);
        ar.Close();
        file.Close();
        return ReadFileBytes(path);
    }

    /// Loads bytes into the list; returns the bytes left unread.
    std::uint64_t load(MoxPlayList& list, const Bytes& bytes) {
        const std::string path = dir.file("loaded.pla");
        WriteFileBytes(path, bytes);
        CFile file(path, CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        list.Serialize(ar);
        return ar.GetBytesLeft();
    }

    TempDir dir;
    TestOutputs t;
};

TEST_F(MoxPlayListTest, StoresAListByteForByte) {
    MoxPlayList list(t.outputs());
    auto item = std::make_unique<MoxWav>(t.outputs().wave, "hello.wav");
    item->SetLoopCount(2);
    item->SetTitle("hello.wav");
    item->SetVolume(50);
    ASSERT_TRUE(list.Add(std::move(item)));
    list.SetName("C:\\Q\\A.pla");
    list.SetTitle("A.pla");
    EXPECT_EQ(save(list), kOneWaveList); // loading is the next test's, with distinct fields

    // An empty list: the same header with a count of zero.
    MoxPlayList empty;
    empty.SetName("C:\\Q\\A.pla");
    empty.SetTitle("A.pla");
    Bytes header(kOneWaveList.begin(), kOneWaveList.begin() + 29);
    header.insert(header.end(), 4, 0);
    EXPECT_EQ(save(empty), header);
}

TEST_F(MoxPlayListTest, EveryKindRoundTripsWithItsFields) {
    // Every field of each record differs from the others and from what a default item holds.
    const Bytes bytes = listOf({pack({kindMidi, "tune.mid", 3, 7, "Tune title", 9, 42}),
                                pack({kindCD, "Track 12", -1, 11, "Twelve", 13, 0}),
                                pack({kindWave, "a.wav", 0, -1, "", 0, 101})});
    MoxPlayList list(t.outputs());
    EXPECT_EQ(load(list, bytes), 0u);
    ASSERT_EQ(list.GetCount(), 3u);
    EXPECT_NE(dynamic_cast<MoxMid*>(list.ItemAt(0)), nullptr);
    EXPECT_NE(dynamic_cast<MoxCD*>(list.ItemAt(1)), nullptr);
    EXPECT_NE(dynamic_cast<MoxWav*>(list.ItemAt(2)), nullptr);
    EXPECT_EQ(list.ItemAt(3), nullptr) << "index equal to the count";
    EXPECT_EQ(list.GetLoopCount(), 5u);
    EXPECT_EQ(list.ItemAt(0)->GetTitle(), "Tune title");
    EXPECT_EQ(save(list), bytes) << "every field of the header and the records kept";
}

TEST_F(MoxPlayListTest, RecordsOfUnknownKindsOrWithoutAReadyPlayerAreReadAndDropped) {
    TestOutputs noCd(false);
    MoxPlayList list(noCd.outputs());
    EXPECT_EQ(load(list, listOf({record(kindCD, "Track 1"), record(104, "odd"),
                                 record(kindWave, "a.wav"), record(kindCD, "Track 2")})),
              0u)
        << "all bytes consumed";
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.ItemAt(0)->GetName(), "a.wav");

    MoxPlayList withoutPlayers; // loads nothing at all
    load(withoutPlayers, kOneWaveList);
    EXPECT_EQ(withoutPlayers.GetCount(), 0u);
}

TEST_F(MoxPlayListTest, HeaderOfUnknownKindTakesTheNextWordAsCount) {
    // Kind 7, then what is read as the count (1), then one record.
    Bytes bytes = HexBytes("07000000 01000000");
    const Bytes r = record(kindWave, "a.wav");
    bytes.insert(bytes.end(), r.begin(), r.end());
    MoxPlayList list(t.outputs());
    EXPECT_EQ(load(list, bytes), 0u);
    EXPECT_EQ(list.GetKind(), 7);
    EXPECT_EQ(list.GetName(), "");
    EXPECT_EQ(list.GetCount(), 1u);
}

// A file cut short keeps what was read before the cut; a count that the bytes left cannot
// hold is refused before a single record is read (or reserved for).
TEST_F(MoxPlayListTest, DamagedFilesRaiseArchiveErrorsAndKeepWhatWasRead) {
    Bytes cut = listOf({record(kindWave, "a.wav"), record(kindWave, "b.wav")});
    cut.resize(cut.size() - 3);
    Bytes huge = listOf({record(kindWave, "a.wav")});
    std::fill_n(huge.begin() + 31, 4, 0xFF); // the count: four billion records in 70 bytes
    huge.resize(70, 0);
    const struct {
        Bytes bytes;
        int cause;
        std::size_t kept;
    } cases[] = {{cut, CArchiveException::endOfFile, 1}, {huge, CArchiveException::badIndex, 0}};
    for (const auto& c : cases) {
        MoxPlayList list(t.outputs());
        try {
            load(list, c.bytes);
            ADD_FAILURE() << "no exception";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, c.cause);
            EXPECT_NE(e.GetErrorMessage().find("loaded.pla"), std::string::npos);
        }
        ASSERT_EQ(list.GetCount(), c.kept);
        if (c.kept > 0) {
            EXPECT_EQ(list.ItemAt(0)->GetName(), "a.wav");
        }
    }
}

TEST_F(MoxPlayListTest, PlaysAndStopsTheCurrentItemOnceAndStopsItWhenDestroyed) {
    {
        MoxPlayList list(t.outputs());
        load(list, listOf({record(kindWave, "a.wav"), record(kindMidi, "b.mid"),
                           record(kindCD, "Track 3")}));
        list.StopCurrent();
        EXPECT_FALSE(list.PlayCurrent()) << "no current item yet";
        list.SetCurrent(1);
        EXPECT_TRUE(list.PlayCurrent());
        EXPECT_FALSE(list.PlayCurrent()) << "already playing: nothing more";
        list.StopCurrent();
        list.StopCurrent();
        EXPECT_EQ(t.log, (Log{"midi volume 100", "midi play b.mid", "midi stop"}));
        list.SetCurrent(0);
        list.PlayCurrent();
    }
    // The current wave item is stopped once by the list and not again by its destructor; the
    // CD item knows no state, so its destructor asks the CD player to stop anyway.
    EXPECT_EQ(t.wave.stops, 1);
    EXPECT_EQ(t.midi.stops, 1);
    EXPECT_EQ(t.cd.stops, 1);
}

// A player that failed to start may still hold the file open: the item stops it all the same,
// once, and does not ask it twice to start.
TEST_F(MoxPlayListTest, AnItemWhosePlayerFailedToStartStillStopsIt) {
    t.wave.playResult = false;
    MoxWav wav(t.outputs().wave, "missing.wav");
    EXPECT_FALSE(wav.Play());
    EXPECT_FALSE(wav.Play());
    wav.Stop();
    wav.Stop();
    EXPECT_EQ(t.wave.plays, 1);
    EXPECT_EQ(t.wave.stops, 1);
    EXPECT_FALSE(MoxWav().Play()) << "an item without a player";
}

} // namespace
