#include "platform/classlib/AnsiCodePage.h"
#include "platform/text/Utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(AnsiCodePageTest, MapsEveryWindows1252ByteAndBack) {
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string utf8 = FromAnsiCodePage(one);
        EXPECT_TRUE(IsValidUtf8(utf8)) << b;
        EXPECT_EQ(ToAnsiCodePage(utf8), one) << b;
    }
    EXPECT_EQ(FromAnsiCodePage("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(FromAnsiCodePage("\x9F"), "\xC5\xB8");     // capital Y with diaeresis
}

TEST(AnsiCodePageTest, KeepsTextOutsideTheCodePageAsUtf8) {
    const std::string mixed = "caf\xC3\xA9 \xE2\x99\xAA"; // "café ♪": the note has no byte
    EXPECT_EQ(ToAnsiCodePage(mixed), mixed);
    EXPECT_EQ(FromAnsiCodePage(mixed), mixed);
}

TEST(AnsiCodePageTest, RejectsMalformedUtf8) {
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong slash
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));         // cut short
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // beyond U+10FFFF
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x8E\xB5"));
}

} // namespace
