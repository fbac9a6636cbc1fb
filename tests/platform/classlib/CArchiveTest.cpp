#include "platform/classlib/CArchive.h"

#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace {

class CArchiveTest : public ::testing::Test {
protected:
    Bytes store(const std::function<void(CArchive&)>& write) {
        const std::string path = dir.file("out.bin");
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        write(ar);
        ar.Close();
        file.Close();
        return ReadFileBytes(path);
    }

    void load(const Bytes& bytes, const std::function<void(CArchive&)>& read) {
        const std::string path = dir.file("in.bin");
        WriteFileBytes(path, bytes);
        CFile file(path, CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        read(ar);
    }

    TempDir dir;
};

Bytes prefixed(const Bytes& prefix, std::size_t length, char fill) {
    Bytes out = prefix;
    out.insert(out.end(), length, static_cast<std::uint8_t>(fill));
    return out;
}

TEST_F(CArchiveTest, StoresNumbersLittleEndianCountsInTwoOrSixBytesAndNamesInTheAnsiCodePage) {
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

TEST_F(CArchiveTest, StringLengthPrefixTakesItsThreeForms) {
    struct Case {
        std::size_t length;
        Bytes prefix;
    };
    const std::vector<Case> cases = {
        {0, HexBytes("00")},
        {254, HexBytes("FE")},
        {255, HexBytes("FF FF 00")},
        {300, HexBytes("FF 2C 01")},
        {0xFFFD, HexBytes("FF FD FF")},
        {0xFFFE, HexBytes("FF FF FF FE FF 00 00")},
        {70000, HexBytes("FF FF FF 70 11 01 00")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'x');
        const Bytes bytes = store([&](CArchive& ar) { ar << text; });
        EXPECT_EQ(bytes, prefixed(c.prefix, c.length, 'x'));
        std::string back;
        load(bytes, [&](CArchive& ar) { ar >> back; });
        EXPECT_EQ(back, text);
    }
    // FF FE FF is never written, but read as a two-byte length all the same.
    std::string back;
    load(prefixed(HexBytes("FF FE FF"), 0xFFFE, 'y'), [&](CArchive& ar) { ar >> back; });
    EXPECT_EQ(back, std::string(0xFFFE, 'y'));
}

TEST_F(CArchiveTest, NumbersAndStringsSurviveTheBufferBoundary) {
    // 4096-byte buffer: put numbers and a long string across several refills.
    const std::string text(5000, 'q');
    const Bytes bytes = store([&](CArchive& ar) {
        for (DWORD i = 0; i < 1023; ++i) {
            ar << i;
        }
        ar << static_cast<BYTE>(7) << text << static_cast<DWORD>(0xCAFEBABE);
    });
    load(bytes, [&](CArchive& ar) {
        for (DWORD i = 0; i < 1023; ++i) {
            DWORD v = 0;
            ar >> v;
            ASSERT_EQ(v, i);
        }
        BYTE b = 0;
        std::string s;
        DWORD tail = 0;
        ar >> b >> s >> tail;
        EXPECT_EQ(b, 7);
        EXPECT_EQ(s, text);
        EXPECT_EQ(tail, 0xCAFEBABE);
        EXPECT_EQ(ar.GetBytesLeft(), 0u);
    });
}

TEST_F(CArchiveTest, TruncatedInputRaisesEndOfFileAndImpossibleLengthsAreRefused) {
    const auto causeOf = [&](const Bytes& bytes, const std::function<void(CArchive&)>& read) {
        try {
            load(bytes, read);
        } catch (const CArchiveException& e) {
            return e.m_cause;
        }
        return CArchiveException::none;
    };
    const auto readDword = [](CArchive& ar) {
        DWORD d = 0;
        ar >> d;
    };
    const auto readString = [](CArchive& ar) {
        std::string s;
        ar >> s;
    };
    EXPECT_EQ(causeOf(HexBytes(""), readDword), CArchiveException::endOfFile);
    EXPECT_EQ(causeOf(HexBytes("01 02 03"), readDword), CArchiveException::endOfFile);
    EXPECT_EQ(causeOf(HexBytes(""), readString), CArchiveException::endOfFile);
    EXPECT_EQ(causeOf(HexBytes("FF 2C"), readString), CArchiveException::endOfFile);
    // A string whose announced bytes are not all there is refused as damaged, before anything
    // is allocated for it: here 4 GiB announced in a 12-byte file.
    EXPECT_EQ(causeOf(HexBytes("05 61 62"), readString), CArchiveException::badIndex);
    EXPECT_EQ(causeOf(HexBytes("FF FF FF FF FF FF FF 61 62 63 64 65"), readString),
              CArchiveException::badIndex);
}

} // namespace
