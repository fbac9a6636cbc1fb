#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8, the program's one form of text: checked where text comes in from files the program
// did not write (play lists, the settings store, desktop entries).

/// Decodes the code point that starts at bytes[at] into codePoint; returns how many bytes it
/// took, or 0 when they are not well-formed UTF-8 (cut short, overlong, a surrogate, or
/// beyond U+10FFFF).
std::size_t DecodeUtf8(std::string_view bytes, std::size_t at, char32_t& codePoint);

/// True when the bytes are well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view bytes);

/// Appends the UTF-8 form of a code point (at most U+10FFFF) to out.
void AppendUtf8(char32_t codePoint, std::string& out);
