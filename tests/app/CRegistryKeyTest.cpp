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

TEST_F(CRegistryKeyTest, ReadsStringsUpToTheirZeroAndIntoABufferOnlyWhatFits) {
    storeValues("\"Long\"=\"" + std::string(1000, 'L') +
                "\"\n\"Unterminated\"=hex(1):61,62,63\n\"Inner zero\"=hex(1):61,00,62,00\n"
                "\"Binary\"=hex:41,42\n\"Fits\"=\"" +
                std::string(15, 'f') + "\"\n\"Too long\"=\"" + std::string(16, 't') + "\"\n");
    openTest();
    // Whole, then into a 16-byte buffer (the type is ignored).
    const struct {
        const char* name;
        std::string whole;
        LONG buffered;
        std::string inBuffer;
    } cases[] = {
        {"Long", std::string(1000, 'L'), 1000, std::string(16, '\0')},
        {"Unterminated", "abc", 0, std::string("abc") + std::string(13, '\0')},
        {"Inner zero", "a", 0, std::string("a") + std::string(15, '\0')},
        {"Binary", "AB", 0, std::string("AB") + std::string(14, '\0')},
        {"Fits", std::string(15, 'f'), 0, std::string(15, 'f') + '\0'},
        {"Too long", std::string(16, 't'), 16, std::string(16, '\0')},
    };
    for (const auto& c : cases) {
        std::string value = "old";
        EXPECT_EQ(key.QueryString(c.name, value), 0) << c.name;
        EXPECT_EQ(value, c.whole) << c.name;
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(key.QueryString(c.name, buffer, sizeof buffer), c.buffered) << c.name;
        EXPECT_EQ(std::string(buffer, sizeof buffer), c.inBuffer) << c.name;
    }
    std::string value = "old";
    EXPECT_EQ(key.QueryString("Missing", value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, "");
    char buffer[16];
    EXPECT_EQ(key.QueryString("Fits", nullptr, 16), CRegistryKey::kMissingArgument);
    EXPECT_EQ(key.QueryString("Fits", buffer, 0), CRegistryKey::kMissingArgument);
    value = "old";
    EXPECT_EQ(CRegistryKey(store.get()).QueryString("Long", value), ERROR_INVALID_HANDLE);
    EXPECT_EQ(value, "") << "a key that is not open";
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
