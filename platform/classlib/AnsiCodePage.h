#pragma once

#include <string>
#include <string_view>

// Strings inside the program are UTF-8. Files written by the original platform hold them in
// its ANSI code page, Windows-1252; these two functions cross that boundary.

/// The Windows-1252 bytes of a UTF-8 text when every character has one; otherwise the text
/// unchanged (so names outside the code page survive a round trip as UTF-8).
std::string ToAnsiCodePage(std::string_view utf8);

/// Bytes that are valid UTF-8 are taken as UTF-8; anything else is read as Windows-1252.
std::string FromAnsiCodePage(std::string_view bytes);
