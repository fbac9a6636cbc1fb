#include "platform/registry/RegFileFormat.h"

#include "platform/registry/Registry.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector bytesOf(std::string_view s, bool zero) {
    ByteVector out(s.begin(), s.end());
    if (zero) {
        out.push_back(0);
    }
    return out;
}

using Values = std::vector<std::tuple<std::string, DWORD, ByteVector>>;

/// A key's values (name, type, bytes) in order; none for a missing key.
Values valuesOf(const RegistryTree::Key* key) {
    Values out;
    for (const auto& value : key == nullptr ? std::vector<RegistryTree::Value>{} : key->Values()) {
        out.emplace_back(value.name, value.type, value.data);
    }
    return out;
}

TEST(RegFileFormatTest, ReadsAHandEditedFile) {
    const std::string text = "\xEF\xBB\xBF"
                             "; settings, edited by hand\r\n"
                             "Windows Registry Editor Version 5.00\r\n"
                             "\r\n"
                             "   [HKEY_CURRENT_USER\\Software\\Corvale\\QUILLON]   \r\n"
                             "; the flags\r\n"
                             "\"Start With Windows\" = dword:1   ; on\r\n"
                             "  \"Recording Quality\"=DWORD:0000000A\r\n"
                             "\"Default Play List\"  =  \"C:\\Music\\on hold.pla\" ; unescaped\r\n"
                             "\"Blob\"=hex: 00 , 0A,ff,\\\r\n"
                             "     10,\\\r\n"
                             "  20\r\n"
                             "\"Expand\"=hex(2):25,41,25,00\r\n"
                             "@=\"default \\\"quoted\\\" \\\\ text\"\r\n"
                             "\r\n"
                             "[hkey_current_user\\SOFTWARE\\CORVALE\\quillon]\r\n"
                             "\"start with windows\"=dword:00000000\r\n";
    RegistryTree tree;
    RegFileError error;
    ASSERT_TRUE(ParseRegFile(text, tree, error)) << error.line << ": " << error.reason;

    // The later section adds to the earlier one; its value replaces the earlier one in place
    // and keeps the first spelling.
    const Values values = {
        {"Start With Windows", REG_DWORD, {0, 0, 0, 0}},
        {"Recording Quality", REG_DWORD, {10, 0, 0, 0}},
        {"Default Play List", REG_SZ, bytesOf("C:\\Music\\on hold.pla", true)},
        {"Blob", REG_BINARY, {0x00, 0x0a, 0xff, 0x10, 0x20}},
        {"Expand", REG_EXPAND_SZ, {'%', 'A', '%', 0}},
        {"", REG_SZ, bytesOf("default \"quoted\" \\ text", true)},
    };
    EXPECT_EQ(valuesOf(tree.Find(1, {"software", "corvale", "QUILLON"})), values);
    EXPECT_EQ(tree.Find(1, {"SOFTWARE", "Corvale"})->Name(), "Corvale");

    RegistryTree old;
    ASSERT_TRUE(ParseRegFile("REGEDIT4\n[HKEY_USERS\\x]\n\"a\"=\"b\"", old, error));
    EXPECT_NE(old.Find(3, {"x"})->FindValue("a"), nullptr);
    RegistryTree empty;
    EXPECT_TRUE(ParseRegFile("", empty, error));
    EXPECT_TRUE(ParseRegFile("\n  \n; nothing yet\n", empty, error));
}

TEST(RegFileFormatTest, WritesEveryValueSoThatItReadsBackExactly) {
    // Strings that cannot stand between quotes keep their bytes through hex(1).
    ByteVector big(300);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7);
    }
    const Values values = {
        {"Start With Windows", REG_DWORD, {1, 0, 0, 0}},
        {"quote\"and\\slash]", REG_SZ, bytesOf("say \"hi\" \\ there", true)},
        {"", REG_SZ, bytesOf("", true)},
        {"accent", REG_SZ, bytesOf("caf\xC3\xA9 \xE2\x99\xAA", true)},
        {"inner zero", REG_SZ, {'a', 0, 'b', 0}},
        {"no terminator", REG_SZ, bytesOf("abc", false)},
        {"two lines", REG_SZ, bytesOf("a\nb", true)},
        {"bad utf8", REG_SZ, {'a', 0xC3, 0x28, 0}},
        {"short dword", REG_DWORD, {1, 2, 3}},
        {"multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {"odd type", 0x12345678, {7}},
        {"big", REG_BINARY, big},
    };
    RegistryTree tree;
    auto& key = tree.Create(1, {"SOFTWARE", "Corvale", "QUILLON"});
    for (const auto& [name, type, data] : values) {
        key.SetValue(name, type, data);
    }
    tree.Create(0, {"Empty Leaf"});
    tree.Create(2, {"SOFTWARE", "Caf\xC3\xA9 [x]", "With Space "});

    const std::string text = FormatRegFile(tree);
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Windows Registry Editor Version 5.00");
    while (std::getline(lines, line)) {
        EXPECT_LE(line.size(), 80u) << line;
    }
    for (const char* expected :
         {"\n[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n"
          "\"Start With Windows\"=dword:00000001\n",
          "\n\"quote\\\"and\\\\slash]\"=\"say \\\"hi\\\" \\\\ there\"\n",
          "\n\"inner zero\"=hex(1):61,00,62,00\n", "\n\"short dword\"=hex(4):01,02,03\n",
          "\n[HKEY_CLASSES_ROOT\\Empty Leaf]\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin\n" << text;
    }
    // Keys above a section are implied; the always-present SOFTWARE keys are not written.
    EXPECT_EQ(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\Corvale]"), std::string::npos);

    RegistryTree back;
    RegFileError error;
    ASSERT_TRUE(ParseRegFile(text, back, error)) << error.line << ": " << error.reason;
    EXPECT_EQ(valuesOf(back.Find(1, {"SOFTWARE", "Corvale", "QUILLON"})), values);
    EXPECT_NE(back.Find(0, {"Empty Leaf"}), nullptr);
    const auto* spaced = back.Find(2, {"SOFTWARE", "Caf\xC3\xA9 [x]", "With Space "});
    ASSERT_NE(spaced, nullptr);
    EXPECT_EQ(spaced->Name(), "With Space ");
}

TEST(RegFileFormatTest, NamesTheLineOfTheDamage) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 513; ++i) {
        deep += "\\k";
    }
    deep += "]";
    const struct {
        std::string text;
        std::size_t line;
        std::string_view reason;
    } cases[] = {
        {"\x89PNG\r\n", 1, "not a registry file"},
        {header + "[HKEY_NOWHERE\\x]\n", 3, "unknown root"},
        {header + "\"a\"=\"b\"\n", 3, "before the first"},
        {header + "[HKEY_USERS\\x]\n\"a\"=\"b\n", 4, "not closed"},
        {header + "[HKEY_USERS\\x]\n\"a\"=dword:123456789\n", 4, "dword"},
        {header + "[HKEY_USERS\\x]\n\"a\"=hex:100\n", 4, "hex list"},
        {header + "[HKEY_USERS\\x]\n\"a\"=hex:01,\\\n", 4, "file ends"},
        {header + "[HKEY_USERS\\x]\n\"a\"=hex:01,\\\n02\\\n", 5, "must end with a comma"},
        {header + "[-HKEY_USERS\\x]\n", 3, "removing keys"},
        {header + "[HKEY_USERS\\" + std::string(256, 'k') + "]\n", 3, "longer than 255"},
        {header + deep + "\n", 3, "deeper than 512"},
        {header + "\n\nrubbish\n", 5, "expected a [key]"},
    };
    for (const auto& c : cases) {
        RegistryTree tree;
        RegFileError error;
        EXPECT_FALSE(ParseRegFile(c.text, tree, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
    }
}

TEST(RegFileFormatTest, RefusesATextThatWouldTakeFarMoreMemoryThanItsSize) {
    // Each line names 500 new keys in 1 KB: a small file that would cost megabytes.
    std::string text = "Windows Registry Editor Version 5.00\n";
    std::string tail;
    for (int level = 0; level < 500; ++level) {
        tail += "\\a";
    }
    for (int line = 0; line < 2000; ++line) {
        text += "[HKEY_CURRENT_USER\\k" + std::to_string(line) + tail + "]\n";
    }
    RegistryTree tree;
    RegFileError error;
    EXPECT_FALSE(ParseRegFile(text, tree, error));
    EXPECT_NE(error.reason.find("more keys and values"), std::string::npos) << error.reason;
    EXPECT_LT(error.line, 2000u); // stopped on the way, not at the end

    // The same number of keys, each with a sensible amount of text, is fine.
    std::string plain = "Windows Registry Editor Version 5.00\n";
    for (int line = 0; line < 20000; ++line) {
        plain += "[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\Mixer\\Fader " + std::to_string(line) +
                 "]\n\"Level\"=dword:0000ffff\n";
    }
    RegistryTree many;
    EXPECT_TRUE(ParseRegFile(plain, many, error)) << error.reason;
}

} // namespace
