#pragma once

#include "platform/wintypes/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

class CFile;

/// A buffered stream of numbers and strings over a CFile, either storing or loading.
///
/// Encoding: numbers are little-endian, 1, 2 or 4 bytes by type. A string is a length
/// prefix, then its bytes in the ANSI code page (Windows-1252, see AnsiCodePage.h), no
/// terminator. The prefix takes one of three forms:
///   length < 0xFF:            1 byte   LL
///   length < 0xFFFE:          3 bytes  FF LL LL
///   otherwise:                7 bytes  FF FF FF LL LL LL LL
/// On loading, FF FE FF is read as the 2-byte length 0xFFFE. Strings longer than 4 GiB are
/// not supported.
///
/// Loading raises CArchiveException(endOfFile) when the bytes run out, and badIndex when a
/// length announces more bytes than remain, before anything is allocated for it.
///
/// The destructor does not flush: a write that fails must be reported, which only Close() can.
class CArchive {
public:
    enum Mode : unsigned { store = 0, load = 1 };

    static constexpr unsigned defaultBufferSize = 4096;

    CArchive(CFile* file, unsigned mode, unsigned bufferSize = defaultBufferSize);
    ~CArchive() = default;

    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }
    CFile* GetFile() const { return m_file; }

    /// Writes out what is buffered (storing). Raises CFileException.
    void Flush();
    /// Flushes when storing and detaches from the file; the file stays open.
    void Close();

    /// Loading: the bytes that can still be read, buffered or in the file.
    std::uint64_t GetBytesLeft() const;

    /// Raw bytes. Read returns how many were read, fewer only at the end of the file.
    unsigned Read(void* buffer, unsigned count);
    void Write(const void* buffer, unsigned count);

    CArchive& operator<<(BYTE value);
    CArchive& operator<<(WORD value);
    CArchive& operator<<(DWORD value);
    CArchive& operator<<(LONG value);
    CArchive& operator<<(const std::string& value);

    CArchive& operator>>(BYTE& value);
    CArchive& operator>>(WORD& value);
    CArchive& operator>>(DWORD& value);
    CArchive& operator>>(LONG& value);
    CArchive& operator>>(std::string& value);

    /// Element counts of arrays: 2 bytes, or FF FF and 4 bytes when the count is 0xFFFF or more.
    void WriteCount(DWORD count);
    DWORD ReadCount();

private:
    void fill();
    void readExactly(void* buffer, unsigned count);
    [[noreturn]] void raise(int cause, const std::string& detail = {}) const;
    std::string fileName() const;

    CFile* m_file;
    unsigned m_mode;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0;        // loading: next byte to hand out
    std::size_t m_end = 0;          // loading: end of valid bytes; storing: bytes waiting
    std::uint64_t m_fileLength = 0; // loading: the file's length when the archive was made
};
