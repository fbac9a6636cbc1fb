#include "platform/files/FindPathNoCase.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(FindPathNoCaseTest, FindsFoldersAndFilesWhateverTheirCase) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("Midi Files"));
    WriteFileBytes(dir.file("Midi Files/hello.mid"), {});
    for (const char* asked :
         {"Midi Files/hello.mid", "Midi files/HELLO.MID", "MIDI FILES/Hello.Mid"}) {
        const auto found = FindPathNoCase(dir.path(), asked);
        ASSERT_TRUE(found) << asked;
        EXPECT_EQ(*found, dir.file("Midi Files/hello.mid"));
    }
    EXPECT_FALSE(FindPathNoCase(dir.path(), "Midi Files/other.mid"));
}

TEST(FindPathNoCaseTest, PrefersTheExactNameAndFoldsAccents) {
    TempDir dir;
    WriteFileBytes(dir.file("Song.wav"), {});
    WriteFileBytes(dir.file("song.wav"), {});
    WriteFileBytes(dir.file("caf\xC3\xA9.wav"), {});
    EXPECT_EQ(*FindPathNoCase(dir.path(), "song.wav"), dir.file("song.wav"));
    EXPECT_EQ(*FindPathNoCase(dir.path(), "Song.wav"), dir.file("Song.wav"));
    EXPECT_EQ(*FindPathNoCase(dir.path(), "SONG.WAV"), dir.file("Song.wav"));
    EXPECT_EQ(*FindPathNoCase(dir.path(), "CAF\xC3\x89.WAV"), dir.file("caf\xC3\xA9.wav"));
}

TEST(FindPathNoCaseTest, RefusesStepsOutOfTheFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("Wave Files"));
    WriteFileBytes(dir.file("secret"), {});
    EXPECT_FALSE(FindPathNoCase(dir.file("Wave Files"), "../secret"));
    EXPECT_FALSE(FindPathNoCase(dir.path(), "./secret"));
    EXPECT_FALSE(FindPathNoCase(dir.path(), "Wave Files//x"));
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
