#include "app/CRegistryKey.h"

#include "platform/registry/RegistryStore.h"
#include "tests/platform/registry/TextFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

class CRegistryKeyTest : public ::testing::Test {
protected:
    /// A store whose HKEY_CURRENT_USER\SOFTWARE\Test holds the values of `lines`.
    void storeValues(const std::string& lines) {
        writeText(path, "Windows Registry Editor Version 5.00\n\n"
                        "[HKEY_CURRENT_USER\\SOFTWARE\\Test]\n" +
                            lines);
    }

    /// key opened on HKEY_CURRENT_USER\SOFTWARE\Test.
    void openTest() {
        ASSERT_EQ(key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", "Test"), 0);
        ASSERT_EQ(key.Open(), 0);
    }

    TempDir dir;
    std::string path = dir.file("registry.reg");
    std::unique_ptr<RegistryStore> store = std::make_unique<RegistryStore>(path);
    CRegistryKey key{store.get()};
};

TEST_F(CRegistryKeyTest, OpensCreatesAndDeletesWithItsOwnCodes) {
    ASSERT_EQ(key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", "Corvale\\QUILLON"), 0);
    EXPECT_EQ(key.Open(), CRegistryKey::kCannotOpen);
    EXPECT_EQ(key.Create(), REG_CREATED_NEW_KEY);
    EXPECT_EQ(key.Create(), REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(key.Close(), 0);
    EXPECT_EQ(key.Close(), 0);
    EXPECT_FALSE(key.IsOpen());

    // Create opens the parent and does not make it.
    ASSERT_EQ(key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE\\Nowhere", "Below"), 0);
    EXPECT_EQ(key.Create(), CRegistryKey::kCannotOpen);
    ASSERT_EQ(key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", "Corvale"), 0);
    EXPECT_EQ(key.Delete(), CRegistryKey::kCannotDelete) << "it has a subkey";
    EXPECT_EQ(key.SetKey(4, "SOFTWARE", "x"), CRegistryKey::kMissingArgument);
}

TEST_F(CRegistryKeyTest, KeepsAHandleItCouldNotClose) {
    storeValues("");
    openTest();
    store.reset(); // every handle of the store is gone
    EXPECT_EQ(key.Close(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(key.IsOpen());
    EXPECT_EQ(key.SetKey(CRegistryKey::rootCurrentUser, "SOFTWARE", "Other"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.SetNumber("x", 1), CRegistryKey::kCannotWrite);
}

TEST_F(CRegistryKeyTest, ReadsStringsOfAnyLengthUpToTheirZero) {
    const std::string long1000(1000, 'L');
    storeValues("\"Long\"=\"" + long1000 +
                "\"\n"
                "\"Unterminated\"=hex(1):61,62,63\n"
                "\"Inner zero\"=hex(1):61,00,62,00\n"
                "\"Binary\"=hex:41,42\n");
    openTest();
    std::string value = "old";
    EXPECT_EQ(key.QueryString("Long", value), 0);
    EXPECT_EQ(value, long1000);
    EXPECT_EQ(key.QueryString("Unterminated", value), 0);
    EXPECT_EQ(value, "abc");
    EXPECT_EQ(key.QueryString("Inner zero", value), 0);
    EXPECT_EQ(value, "a");
    EXPECT_EQ(key.QueryString("Binary", value), 0); // the type is ignored
    EXPECT_EQ(value, "AB");
    EXPECT_EQ(key.QueryString("Missing", value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, "");

    CRegistryKey closed(store.get());
    value = "old";
    EXPECT_EQ(closed.QueryString("Long", value), ERROR_INVALID_HANDLE);
    EXPECT_EQ(value, "");
}

TEST_F(CRegistryKeyTest, ReadsIntoABufferOnlyWhatFitsWithItsZero) {
    storeValues("\"Short\"=\"abc\"\n"
                "\"Fits\"=\"" +
                std::string(15, 'f') +
                "\"\n"
                "\"Too long\"=\"" +
                std::string(16, 't') + "\"\n");
    openTest();
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(key.QueryString("Short", buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("abc") + std::string(13, '\0'));
    EXPECT_EQ(key.QueryString("Fits", buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer), std::string(15, 'f'));
    EXPECT_EQ(key.QueryString("Too long", buffer, sizeof buffer), 16);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, '\0'));
    EXPECT_EQ(key.QueryString("Short", nullptr, 16), CRegistryKey::kMissingArgument);
    EXPECT_EQ(key.QueryString("Short", buffer, 0), CRegistryKey::kMissingArgument);
}

TEST_F(CRegistryKeyTest, BuildsNumbersByTheByteOrderOfTheirType) {
    storeValues("\"Dword bytes 00 00 00 01\"=hex(4):00,00,00,01\n"
                "\"Binary 00 00 00 01\"=hex:00,00,00,01\n"
                "\"Long dword\"=hex(4):01,02,03,04,05,06\n"
                "\"Long binary\"=hex:05,00,00,00,02\n"
                "\"Short binary\"=hex:01,02\n"
                "\"Big endian\"=hex(5):00,00,00,01\n"
                "\"String\"=\"1\"\n");
    openTest();
    const struct {
        const char* name;
        DWORD expected;
    } cases[] = {
        {"Dword bytes 00 00 00 01", 16777216},
        {"Binary 00 00 00 01", 1},
        {"Long dword", 0x04030201}, // the first four stored bytes are taken last
        {"Long binary", 2},         // the last four stored bytes
        {"Short binary", 0x0102},
        {"Big endian", 0},
        {"String", 0},
    };
    for (const auto& c : cases) {
        DWORD n = 0xFFFFFFFF;
        EXPECT_EQ(key.QueryNumber(c.name, n), 0) << c.name;
        EXPECT_EQ(n, c.expected) << c.name;
    }
    DWORD n = 5;
    EXPECT_EQ(key.QueryNumber("Missing", n), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(n, 0u);
    n = 5;
    EXPECT_EQ(key.QueryNumberKeep("Missing", n), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(key.QueryNumberKeep("Binary 00 00 00 01", n), 0);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(key.QueryNumber(nullptr, &n), CRegistryKey::kMissingArgument);
}

TEST_F(CRegistryKeyTest, WritesNumbersAndStringsWithTheirTypes) {
    storeValues("");
    openTest();
    EXPECT_EQ(key.SetNumber("Number", 0x01020304), 0);
    EXPECT_EQ(key.SetNumber("Binary", 0x01020304, CRegistryKey::typeBinary), 0);
    EXPECT_EQ(key.SetString("Text", "demo.pla"), 0);
    EXPECT_EQ(key.SetNumber("x", 1, 10), CRegistryKey::kMissingArgument);
    EXPECT_EQ(key.SetString("x", nullptr, CRegistryKey::typeString),
              CRegistryKey::kMissingArgument);
    EXPECT_EQ(key.SetString("bad\nname", "x"), CRegistryKey::kCannotWrite);

    EXPECT_NE(readText(path).find("\"Number\"=dword:01020304\n"
                                  "\"Binary\"=hex:01,02,03,04\n"
                                  "\"Text\"=\"demo.pla\"\n"),
              std::string::npos)
        << readText(path);

    // What SetNumber wrote, QueryNumber reads back.
    DWORD n = 0;
    EXPECT_EQ(key.QueryNumber("Binary", n), 0);
    EXPECT_EQ(n, 0x01020304u);

    key.Close();
    EXPECT_EQ(key.SetNumber("Number", 1), CRegistryKey::kCannotWrite);
    EXPECT_EQ(key.SetString("Text", "x"), CRegistryKey::kCannotWrite);
}

} // namespace
