#pragma once

#include "platform/registry/RegistryTree.h"

#include <cstddef>
#include <string>
#include <string_view>

// The store's file: the platform's registry export syntax, in UTF-8, so that a user can read
// and edit it.
//
//   Windows Registry Editor Version 5.00        (or REGEDIT4; a UTF-8 byte order mark is skipped)
//
//   [HKEY_CURRENT_USER\SOFTWARE\Corvale\QUILLON]
//   "Start With Windows"=dword:00000001         REG_DWORD, exactly 4 bytes, little-endian
//   "Default Play List"="demo.pla"              REG_SZ: the bytes, then one zero byte
//   "Blob"=hex:00,01,ff                         REG_BINARY
//   "Path"=hex(2):25,50,00                      any other type N (hexadecimal), or a REG_SZ
//   @="..."                                     whose bytes are not a clean string: hex(1):
//
// Names and strings are quoted; inside quotes "\\" stands for \ and "\"" for ". Hex lists may
// run over several lines, each but the last ending in "\". Lines starting with ";" are
// comments, as is ";..." after a complete value; blank lines and blanks around "=" and ","
// are ignored; CR LF line ends are accepted. A section names every key on its path, the first
// name being a root; the keys above it exist implicitly. Sections and values may repeat: later
// ones add to or replace earlier ones.
//
// Written files list a section for each key that has values, or has neither values nor
// subkeys; values keep the order they were first set in; hex lines wrap at 80 columns.
//
// Limits: key names of at most 255 bytes, at most 512 keys deep; deeper or longer is damage.
// The tree a text makes takes at most about 16 times the text's size plus 1 MiB; a text that
// would take more (say, short lines naming deep paths) is refused as damaged.

struct RegFileError {
    std::size_t line = 0; ///< 1-based line of the fault
    std::string reason;
};

/// Reads text into tree (which should be fresh). False, with error filled in, when the text is
/// not a registry file or a line cannot be read; tree then holds what was read before the fault.
bool ParseRegFile(std::string_view text, RegistryTree& tree, RegFileError& error);

/// The text of a tree; ParseRegFile reads it back to the same names, types and bytes.
std::string FormatRegFile(const RegistryTree& tree);

/// True when bytes are a string that can be written between quotes: UTF-8 without control
/// characters, ending in the one zero byte.
bool IsCleanRegString(const std::vector<std::uint8_t>& bytes);
