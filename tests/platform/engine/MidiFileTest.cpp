#include "platform/engine/MidiFile.h"

#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

using Bytes = std::vector<std::uint8_t>;

namespace {
Bytes SmallSong() {
    testaudio::SmfWriter writer;
    writer.Program(0, 0);
    writer.Note(0.0, 0.5, 60);
    writer.Note(0.5, 0.5, 64);
    return writer.Bytes();
}

void PutLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
void PutBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    }
}
} // namespace

TEST(MidiFileTest, AcceptsStandardFileAsItIs) {
    Bytes smf = SmallSong();
    MidiFile file;
    ASSERT_TRUE(file.Parse(smf)) << file.Error();
    EXPECT_EQ(file.Smf(), smf);
    EXPECT_EQ(file.TrackCount(), 1);
    EXPECT_FALSE(file.WasRiff());
}

TEST(MidiFileTest, UnwrapsRiffMidi) {
    Bytes smf = SmallSong();
    Bytes rmi = testaudio::WrapRmi(smf);
    // A chunk before the data chunk must be skipped, padding included.
    Bytes withInfo(rmi.begin(), rmi.begin() + 12);
    Bytes info = {'I', 'N', 'F', 'O', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    withInfo.insert(withInfo.end(), info.begin(), info.end());
    withInfo.insert(withInfo.end(), rmi.begin() + 12, rmi.end());
    PutLe32(withInfo, 4, static_cast<std::uint32_t>(withInfo.size() - 8));
    for (const Bytes& bytes : {rmi, withInfo}) {
        MidiFile file;
        ASSERT_TRUE(file.Parse(bytes)) << file.Error();
        EXPECT_TRUE(file.WasRiff());
        EXPECT_EQ(file.Smf(), smf);
    }
}

TEST(MidiFileTest, RefusesRiffChunksThatRunPastTheEnd) {
    Bytes rmi = testaudio::WrapRmi(SmallSong());
    Bytes bigRiff = rmi;
    PutLe32(bigRiff, 4, static_cast<std::uint32_t>(rmi.size()));
    Bytes bigData = rmi;
    PutLe32(bigData, 16, 0xFFFFFFF0u);
    Bytes noData = rmi;
    noData[12] = 'x';
    Bytes notMidi = rmi;
    notMidi[8] = 'W';
    Bytes cut(rmi.begin(), rmi.begin() + 10);
    for (const Bytes& bytes : {bigRiff, bigData, noData, notMidi, cut}) {
        MidiFile file;
        EXPECT_FALSE(file.Parse(bytes));
        EXPECT_FALSE(file.Error().empty());
        EXPECT_TRUE(file.Smf().empty());
    }
}

TEST(MidiFileTest, RefusesDamagedStandardFiles) {
    Bytes smf = SmallSong();
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"garbage", Bytes(100, 0x5A)});
    cases.push_back({"cut header", Bytes(smf.begin(), smf.begin() + 10)});
    Bytes headerLength = smf;
    PutBe32(headerLength, 4, 0x7FFFFFFF);
    cases.push_back({"header length", headerLength});
    Bytes trackLength = smf;
    PutBe32(trackLength, 18, 0xFFFFFFFF);
    cases.push_back({"track length", trackLength});
    Bytes smpte = smf;
    smpte[12] = 0xE7;
    cases.push_back({"SMPTE division", smpte});
    Bytes format = smf;
    format[9] = 7;
    cases.push_back({"format", format});
    Bytes noTracks = smf;
    noTracks[11] = 0;
    cases.push_back({"no tracks", noTracks});
    cases.push_back({"cut track", Bytes(smf.begin(), smf.end() - 6)});
    // Delta time of five continuation bytes.
    Bytes header(smf.begin(), smf.begin() + 14);
    Bytes longDelta = header;
    for (std::uint8_t b :
         Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 8, 0x81, 0x81, 0x81, 0x81, 0x81, 0x90, 60, 100}) {
        longDelta.push_back(b);
    }
    cases.push_back({"long delta", longDelta});
    Bytes orphanData = header;
    for (std::uint8_t b : Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 7, 0x00, 60, 100, 0, 0xFF, 0x2F, 0}) {
        orphanData.push_back(b);
    }
    cases.push_back({"data without status", orphanData});
    Bytes metaLength = header;
    for (std::uint8_t b : Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 6, 0x00, 0xFF, 0x01, 0x7F, 'a', 'b'}) {
        metaLength.push_back(b);
    }
    cases.push_back({"meta length", metaLength});
    Bytes sysexLength = header;
    for (std::uint8_t b : Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 5, 0x00, 0xF0, 0x8F, 0xFF, 0x7F}) {
        sysexLength.push_back(b);
    }
    cases.push_back({"sysex length", sysexLength});
    for (const Case& c : cases) {
        MidiFile file;
        EXPECT_FALSE(file.Parse(c.bytes)) << c.what;
        EXPECT_FALSE(file.Error().empty()) << c.what;
    }
}
