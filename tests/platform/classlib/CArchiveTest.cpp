#include "platform/classlib/CArchive.h"

#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace {

/// Archives over files in a scratch folder, with the program's buffer or one of a few bytes, so
/// that every number and string prefix also meets a refill half-way.
class CArchiveTest : public ::testing::TestWithParam<unsigned> {
protected:
    Bytes store(const std::function<void(CArchive&)>& write) {
        const std::string path = dir.file("out.bin");
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store, GetParam());
        write(ar);
        ar.Close();
        file.Close();
        return ReadFileBytes(path);
    }
    void load(const Bytes& bytes, const std::function<void(CArchive&)>& read) {
        const std::string path = dir.file("in.bin");
        WriteFileBytes(path, bytes);
        CFile file(path, CFile::modeRead);
        CArchive ar(&file, CArchive::load, GetParam());
        read(ar);
    }

    TempDir dir;
};
INSTANTIATE_TEST_SUITE_P(Buffers, CArchiveTest, ::testing::Values(CArchive::defaultBufferSize, 5u));

TEST_P(CArchiveTest, StoresNumbersLittleEndianCountsInTwoOrSixBytesAndNamesInTheAnsiCodePage) {
    const Bytes bytes = store([](CArchive& ar) {
        ar << static_cast<BYTE>(0xAB) << static_cast<WORD>(0x1234) << static_cast<DWORD>(0x01020304)
           << static_cast<LONG>(-2) << std::string("Caf\xC3\xA9");
        ar.WriteCount(6);
        ar.WriteCount(0xFFFF);
    });
    // "Café" as written on the original platform: Windows-1252, é = E9.
    EXPECT_EQ(bytes,
              HexBytes("AB 34 12 04 03 02 01 FE FF FF FF 04 43 61 66 E9 06 00 FF FF FF FF 00 00"));
    load(bytes, [](CArchive& ar) {
        BYTE b = 0;
        WORD w = 0;
        DWORD d = 0;
        LONG l = 0;
        std::string name;
        ar >> b >> w >> d >> l >> name;
        EXPECT_EQ(std::tuple(b, w, d, l, name),
                  std::tuple(0xAB, 0x1234, 0x01020304, -2, "Caf\xC3\xA9"));
        EXPECT_EQ(ar.ReadCount(), 6u);
        EXPECT_EQ(ar.ReadCount(), 0xFFFFu);
        EXPECT_EQ(ar.GetBytesLeft(), 0u);
    });
    // Archives refuse the wrong direction.
    EXPECT_THROW(load(HexBytes("00"), [](CArchive& ar) { ar << static_cast<BYTE>(1); }),
                 CArchiveException);
    EXPECT_THROW(store([](CArchive& ar) {
                     BYTE b;
                     ar >> b;
                 }),
                 CArchiveException);
}

TEST_P(CArchiveTest, StringLengthPrefixTakesItsThreeForms) {
    const std::pair<std::size_t, Bytes> cases[] = {
        {0, HexBytes("00")},
        {254, HexBytes("FE")},
        {255, HexBytes("FF FF 00")},
        {300, HexBytes("FF 2C 01")},
        {0xFFFD, HexBytes("FF FD FF")},
        {0xFFFE, HexBytes("FF FF FF FE FF 00 00")},
        {70000, HexBytes("FF FF FF 70 11 01 00")},
    };
    for (const auto& [length, prefix] : cases) {
        SCOPED_TRACE(length);
        const std::string text(length, 'x');
        const Bytes bytes = store([&](CArchive& ar) { ar << text << static_cast<BYTE>(7); });
        Bytes expected = prefix;
        expected.insert(expected.end(), length, 'x');
        expected.push_back(7);
        EXPECT_EQ(bytes, expected);
        std::string back;
        BYTE tail = 0;
        load(bytes, [&](CArchive& ar) { ar >> back >> tail; });
        EXPECT_EQ(back, text);
        EXPECT_EQ(tail, 7);
    }
    // FF FE FF is never written, but read as a two-byte length all the same.
    std::string back;
    Bytes twoByteForm = HexBytes("FF FE FF");
    twoByteForm.insert(twoByteForm.end(), 0xFFFE, 'y');
    load(twoByteForm, [&](CArchive& ar) { ar >> back; });
    EXPECT_EQ(back, std::string(0xFFFE, 'y'));
}

TEST_P(CArchiveTest, TruncatedInputRaisesEndOfFileAndImpossibleLengthsAreRefused) {
    const auto causeOf = [&](const char* hex, bool string) {
        try {
            load(HexBytes(hex), [&](CArchive& ar) {
                std::string s;
                DWORD d = 0;
                string ? (void)(ar >> s) : (void)(ar >> d);
            });
        } catch (const CArchiveException& e) {
            return e.m_cause;
        }
        return CArchiveException::none;
    };
    EXPECT_EQ(causeOf("", false), CArchiveException::endOfFile);
    EXPECT_EQ(causeOf("01 02 03", false), CArchiveException::endOfFile);
    EXPECT_EQ(causeOf("", true), CArchiveException::endOfFile);
    EXPECT_EQ(causeOf("FF 2C", true), CArchiveException::endOfFile);
    // A string whose announced bytes are not all there is refused as damaged, before anything
    // is allocated for it: here 4 GiB announced in a 12-byte file.
    EXPECT_EQ(causeOf("05 61 62", true), CArchiveException::badIndex);
    EXPECT_EQ(causeOf("FF FF FF FF FF FF FF 61 62 63 64 65", true), CArchiveException::badIndex);
}

} // namespace
