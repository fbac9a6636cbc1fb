#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The program's version resource: what the version of a file is, read from the file itself.
//
// It is an ELF note (section ".note.quillon.version", in the program's note segment) with the
// owner name "Quillon" and type 1. Its description is a text record in UTF-8, one entry a line,
// each line ending in a line feed:
//
//   QUILLON-VERSION-RECORD 1                        the first line: the format and its revision
//   FixedFileVersion=0.1.0.0                        four decimal numbers 0..65535 with dots
//   FixedProductVersion=0.1.0.0                     the same for the product
//   \StringFileInfo\080904E4\FileVersion=0.1.0      a string: its path, '=', its value
//
// Strings are named by the path a query gives (a backslash, "StringFileInfo", the language
// block, the key); a value runs to the end of its line. Lines of other names are skipped, so
// later revisions can add entries. The whole record is at most kMaxVersionRecord bytes.
// CMake writes it at configure time from the project's version (VersionNote.cpp.in).

/// The note's owner, with its terminating zero as the note holds it.
inline constexpr char kVersionNoteOwner[] = "Quillon";
inline constexpr std::uint32_t kVersionNoteType = 1;
inline constexpr std::size_t kMaxVersionRecord = 64 * 1024;

struct VersionResource {
    /// Fixed part: each version as two 32-bit words, the first two numbers in the most
    /// significant word (high and low 16 bits), the last two in the least significant one.
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    /// The strings by their query path, e.g. "\StringFileInfo\080904E4\FileVersion".
    std::map<std::string, std::string> strings;

    /// The string at path; nothing when the resource has none.
    std::optional<std::string> QueryValue(const std::string& path) const;
};

/// The record from a note's description; nothing when it is not a well-formed record.
std::optional<VersionResource> ParseVersionRecord(std::string_view record);

/// The version resource of the ELF file at path; nothing when the file cannot be read, is no
/// ELF file or holds no well-formed version note.
std::optional<VersionResource> ReadVersionResource(const std::string& path);

/// The same for an ELF image in memory.
std::optional<VersionResource> ReadVersionResource(const char* image, std::size_t size);
