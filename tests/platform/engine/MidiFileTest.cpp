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

Bytes Changed(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}
} // namespace

TEST(MidiFileTest, AcceptsStandardFilesAsTheyAreAndUnwrapsRiffMidi) {
    Bytes smf = SmallSong();
    MidiFile plain;
    ASSERT_TRUE(plain.Parse(smf)) << plain.Error();
    EXPECT_EQ(plain.Smf(), smf);
    EXPECT_EQ(plain.TrackCount(), 1);
    EXPECT_FALSE(plain.WasRiff());

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

TEST(MidiFileTest, AcceptsWhatTheSynthesizerPlaysDespiteItsLengths) {
    // Bytes after the last track (a second song, a tag), and a last track whose length runs
    // past the end of the file while its events end before it does.
    Bytes trailing = SmallSong();
    for (std::uint8_t b : Bytes{0x00, 0xFF, 'M', 'T', 'r', 'k', 0x00}) {
        trailing.push_back(b);
    }
    Bytes longLast = SmallSong();
    PutBe32(longLast, 18, 0x7FFF0000);
    for (const Bytes& bytes : {trailing, longLast}) {
        MidiFile file;
        ASSERT_TRUE(file.Parse(bytes)) << file.Error();
        EXPECT_EQ(file.Smf(), bytes);
        EXPECT_EQ(file.TrackCount(), 1);
    }
}

TEST(MidiFileTest, RefusesDamagedFiles) {
    Bytes smf = SmallSong();
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    // RIFF wrappings whose chunks run past the end, or that hold no MIDI data.
    const Bytes rmi = testaudio::WrapRmi(smf);
    Bytes bigRiff = rmi;
    PutLe32(bigRiff, 4, static_cast<std::uint32_t>(rmi.size()));
    cases.push_back({"RIFF length", bigRiff});
    Bytes bigData = rmi;
    PutLe32(bigData, 16, 0xFFFFFFF0u);
    cases.push_back({"data length", bigData});
    cases.push_back({"no data chunk", Changed(rmi, 12, 'x')});
    cases.push_back({"not RMID", Changed(rmi, 8, 'W')});
    cases.push_back({"cut RIFF", Bytes(rmi.begin(), rmi.begin() + 10)});
    cases.push_back({"empty", {}});
    cases.push_back({"garbage", Bytes(100, 0x5A)});
    cases.push_back({"cut header", Bytes(smf.begin(), smf.begin() + 10)});
    Bytes headerLength = smf;
    PutBe32(headerLength, 4, 0x7FFFFFFF);
    cases.push_back({"header length", headerLength});
    Bytes trackLength = smf;
    PutBe32(trackLength, 18, 0xFFFFFFFF); // past 2 GiB
    cases.push_back({"track length", trackLength});
    Bytes headerOf8 = smf;
    PutBe32(headerOf8, 4, 8);
    headerOf8.insert(headerOf8.begin() + 14, {0, 0});
    cases.push_back({"header of 8 bytes", headerOf8});
    // Two tracks declared: one missing, or the first running past the end.
    cases.push_back({"a track missing", Changed(smf, 11, 2)});
    Bytes firstTooLong = Changed(smf, 11, 2);
    PutBe32(firstTooLong, 18, 0xFFFF);
    cases.push_back({"first track length", firstTooLong});
    Bytes chunkBefore(smf.begin(), smf.begin() + 14);
    for (std::uint8_t b : Bytes{'X', 'F', 'I', 'H', 0, 0, 0, 1, 0x55}) {
        chunkBefore.push_back(b);
    }
    chunkBefore.insert(chunkBefore.end(), smf.begin() + 14, smf.end());
    cases.push_back({"another chunk before the track", chunkBefore});
    cases.push_back({"SMPTE division", Changed(smf, 12, 0xE7)});
    cases.push_back({"format", Changed(smf, 9, 7)});
    cases.push_back({"no tracks", Changed(smf, 11, 0)});
    cases.push_back({"cut track", Bytes(smf.begin(), smf.end() - 6)});
    // Single tracks after a good header.
    const auto withTrack = [&](const Bytes& events) {
        Bytes track = {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(events.size())};
        track.insert(track.end(), events.begin(), events.end());
        Bytes bytes(smf.begin(), smf.begin() + 14);
        for (std::uint8_t b : track) { // one by one: GCC 12 misreads a bulk insert here
            bytes.push_back(b);
        }
        return bytes;
    };
    cases.push_back(
        {"delta of five bytes", withTrack({0x81, 0x81, 0x81, 0x81, 0x81, 0x90, 60, 100})});
    cases.push_back({"data without status", withTrack({0x00, 60, 100, 0, 0xFF, 0x2F, 0})});
    cases.push_back({"meta length", withTrack({0x00, 0xFF, 0x01, 0x7F, 'a', 'b'})});
    cases.push_back({"sysex length", withTrack({0x00, 0xF0, 0x8F, 0xFF, 0x7F})});
    for (const Case& c : cases) {
        MidiFile file;
        EXPECT_FALSE(file.Parse(c.bytes)) << c.what;
        EXPECT_FALSE(file.Error().empty()) << c.what;
        EXPECT_TRUE(file.Smf().empty()) << c.what;
    }
}
