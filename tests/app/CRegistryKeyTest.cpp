#include "app/CRegistryKey.h"

#include "platform/registry/RegistryStore.h"
#include "tests/platform/registry/TextFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The settings' round trip, the first run's defaults, missing values and a key that went are
// CQuillonAppTest's. Here: values of other types and sizes than the program writes, as a
// hand-edited or imported store holds them, read into the settings' numbers and buffer.
TEST(CRegistryKeyTest, ForeignValuesAreReadByTheirTypeAndIntoABufferOnlyWhatFits) {
    TempDir dir;
    writeText(dir.file("registry.reg"),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Test]\n"
              "\"Long\"=\"" +
                  std::string(1000, 'L') +
                  "\"\n\"Unterminated\"=hex(1):61,62,63\n\"Inner zero\"=hex(1):61,00,62,00\n"
                  "\"Binary\"=hex:41,42\n\"Fits\"=\"" +
                  std::string(15, 'f') + "\"\n\"Too long\"=\"" + std::string(16, 't') +
                  "\"\n"
                  "\"Dword bytes 00 00 00 01\"=hex(4):00,00,00,01\n"
                  "\"Binary 00 00 00 01\"=hex:00,00,00,01\n"
                  "\"Long dword\"=hex(4):01,02,03,04,05,06\n"
                  "\"Long binary\"=hex:05,00,00,00,02\n"
                  "\"Short binary\"=hex:01,02\n"
                  "\"Big endian\"=hex(5):00,00,00,01\n"
                  "\"String\"=\"1\"\n");
    RegistryStore store(dir.file("registry.reg"));
    CRegistryKey key(&store);
    ASSERT_EQ(key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", "Test"), 0);
    ASSERT_EQ(key.Open(), 0);

    // Into a 16-byte buffer, whatever the type, up to the first zero; what does not fit
    // leaves it empty.
    const struct {
        const char* name;
        LONG result;
        std::string inBuffer;
    } strings[] = {
        {"Long", 1000, std::string(16, '\0')},
        {"Unterminated", 0, std::string("abc") + std::string(13, '\0')},
        {"Inner zero", 0, std::string("a") + std::string(15, '\0')},
        {"Binary", 0, std::string("AB") + std::string(14, '\0')},
        {"Fits", 0, std::string(15, 'f') + '\0'},
        {"Too long", 16, std::string(16, '\0')},
    };
    for (const auto& c : strings) {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(key.QueryString(c.name, buffer, sizeof buffer), c.result) << c.name;
        EXPECT_EQ(std::string(buffer, sizeof buffer), c.inBuffer) << c.name;
    }

    const struct {
        const char* name;
        DWORD expected;
    } numbers[] = {
        {"Dword bytes 00 00 00 01", 16777216},
        {"Binary 00 00 00 01", 1},
        {"Long dword", 0x04030201}, // the first four stored bytes are taken last
        {"Long binary", 2},         // the last four stored bytes
        {"Short binary", 0x0102},
        {"Big endian", 0},
        {"String", 0},
    };
    for (const auto& c : numbers) {
        DWORD n = 0xFFFFFFFF;
        EXPECT_EQ(key.QueryNumber(c.name, n), 0) << c.name;
        EXPECT_EQ(n, c.expected) << c.name;
    }
}

} // namespace
