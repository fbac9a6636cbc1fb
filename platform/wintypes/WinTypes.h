#pragma once

// The fixed-width names that the stand-ins for the platform's C interfaces (MCI, mixer,
// registry) use in their structures, so that field widths match the published layouts.

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using DWORD_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using LPARAM = std::intptr_t;
using WPARAM = std::uintptr_t;
using LRESULT = std::intptr_t;
using MMRESULT = UINT;
using MMVERSION = UINT;

class NotifyWindow;
/// A window handle: something that can receive posted messages (see NotifyWindow).
using HWND = NotifyWindow*;
