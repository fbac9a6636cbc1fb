#include "platform/classlib/AnsiCodePage.h"

#include "platform/text/Utf8.h"

#include <array>
#include <cstdint>

namespace {

// Code points of the bytes 0x80..0x9F in Windows-1252. The five bytes the code page leaves
// undefined map to the C1 control of the same value, as the platform's own conversion does.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

namespace {

// The Windows-1252 byte of a code point, or -1 when it has none.
int toByte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<int>(cp);
    }
    for (std::size_t k = 0; k < kHigh.size(); ++k) {
        if (kHigh[k] == cp) {
            return static_cast<int>(0x80 + k);
        }
    }
    return -1;
}

} // namespace

std::string ToAnsiCodePage(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t n = DecodeUtf8(utf8, i, cp);
        const int byte = n == 0 ? -1 : toByte(cp);
        if (byte < 0) {
            return std::string(utf8);
        }
        out += static_cast<char>(byte);
        i += n;
    }
    return out;
}

std::string FromAnsiCodePage(std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char32_t>(b), out);
    }
    return out;
}
