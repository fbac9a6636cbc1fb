#include "platform/files/FindPathNoCase.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(FindPathNoCaseTest, FindsNamesWhateverTheirCasePreferringTheExactOneInsideTheFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("Midi Files"));
    for (const char* name :
         {"Midi Files/hello.mid", "Song.wav", "song.wav", "caf\xC3\xA9.wav", "secret"}) {
        WriteFileBytes(dir.file(name), {});
    }
    for (const auto& [asked, found] : {std::pair{"Midi files/HELLO.MID", "Midi Files/hello.mid"},
                                       {"MIDI FILES/Hello.Mid", "Midi Files/hello.mid"},
                                       {"song.wav", "song.wav"},
                                       {"Song.wav", "Song.wav"},
                                       {"SONG.WAV", "Song.wav"},
                                       {"CAF\xC3\x89.WAV", "caf\xC3\xA9.wav"}}) {
        EXPECT_EQ(FindPathNoCase(dir.path(), asked).value_or("none"), dir.file(found)) << asked;
    }
    // Nothing of that name, and no steps out of the folder.
    for (const char* asked : {"Midi Files/other.mid", "./secret", "Midi Files//x"}) {
        EXPECT_FALSE(FindPathNoCase(dir.path(), asked)) << asked;
    }
    EXPECT_FALSE(FindPathNoCase(dir.file("Midi Files"), "../secret"));
}

TEST(FindPathNoCaseTest, FoldsLatinLettersPairwise) {
    EXPECT_TRUE(EqualsNoCase("\xC4\x80", "\xC4\x81"));  // Ā ā
    EXPECT_TRUE(EqualsNoCase("\xC5\x81", "\xC5\x82"));  // Ł ł (shifted pairing)
    EXPECT_TRUE(EqualsNoCase("\xC5\xB8", "\xC3\xBF"));  // Ÿ ÿ
    EXPECT_FALSE(EqualsNoCase("\xC3\x97", "\xC3\xB7")); // × and ÷ are not a pair
    EXPECT_FALSE(EqualsNoCase("a\xFF", "A\xFE"));       // malformed bytes compare as bytes
    EXPECT_TRUE(EqualsNoCase("a\xFF", "A\xFF"));
}

} // namespace
