#include "platform/classlib/AnsiCodePage.h"
#include "platform/text/Utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(AnsiCodePageTest, MapsEveryWindows1252ByteAndBackAndKeepsOtherTextAsUtf8) {
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string utf8 = FromAnsiCodePage(one);
        EXPECT_TRUE(IsValidUtf8(utf8)) << b;
        EXPECT_EQ(ToAnsiCodePage(utf8), one) << b;
    }
    EXPECT_EQ(FromAnsiCodePage("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(FromAnsiCodePage("\x9F"), "\xC5\xB8");      // capital Y with diaeresis
    const std::string mixed = "caf\xC3\xA9 \xE2\x99\xAA"; // "café ♪": the note has no byte
    EXPECT_EQ(ToAnsiCodePage(mixed), mixed);
    EXPECT_EQ(FromAnsiCodePage(mixed), mixed);
}

TEST(AnsiCodePageTest, RejectsMalformedUtf8) {
    // Overlong slash, surrogate, cut short, beyond U+10FFFF.
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    }
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x8E\xB5"));
}

} // namespace
