#pragma once

#include "platform/wintypes/WinTypes.h"

#include <cstdio>
#include <cstring>
#include <string>

/// The text of a fixed-size field of a platform structure: up to its terminator, or the whole
/// field when the platform filled it to the end.
template <std::size_t N>
std::string MixerFieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

/// "Unknown (%lu)" for a type or code that has no text of its own.
inline std::string UnknownMixerText(DWORD value) {
    char text[32];
    std::snprintf(text, sizeof text, "Unknown (%lu)", static_cast<unsigned long>(value));
    return text;
}
