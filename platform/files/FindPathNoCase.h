#pragma once

#include <optional>
#include <string>
#include <string_view>

// The program's data files were named on a file system that ignores case: a play list may ask
// for "HELLO.WAV" in "Midi files" while the disk holds "hello.wav" in "Midi Files". These
// helpers find such names on a file system that tells case apart.

/// Compares two UTF-8 names without regard to case (ASCII, Latin-1 and Latin Extended-A
/// letters; other characters must match exactly).
bool EqualsNoCase(std::string_view a, std::string_view b);

/// Lower-case form of a UTF-8 name, under the same folding as EqualsNoCase.
std::string FoldCase(std::string_view name);

/// Finds `relative` (components separated by '/') below `folder`, each component matched
/// without regard to case; an exact match wins over others. Returns the path as it stands on
/// disk (folder + "/" + the matched components), or nothing when some component has no match.
/// Components "." and ".." and empty ones are refused.
std::optional<std::string> FindPathNoCase(const std::string& folder, std::string_view relative);
