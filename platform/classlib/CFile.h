#pragma once

#include <cstdint>
#include <string>

class CFileException;

/// A file opened for reading, or created for writing. Failures raise CFileException.
///
/// A file created for writing never harms the file it replaces: the bytes go to a temporary
/// file in the same folder, and only Close() puts it in place (flushed to disk, then renamed
/// over the old one). A file that is destroyed or aborted before Close() leaves the old file
/// as it was and removes the temporary one.
class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeCreate = 0x1000,
    };

    CFile() = default;
    /// Opens at once; raises CFileException on failure.
    CFile(const std::string& path, unsigned openFlags);
    ~CFile();

    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    /// Opens modeRead, or modeCreate | modeWrite. On failure returns false and, when error is
    /// given, fills it in.
    bool Open(const std::string& path, unsigned openFlags, CFileException* error = nullptr);

    /// Reads up to count bytes; returns how many were read, 0 at the end of the file.
    unsigned Read(void* buffer, unsigned count);
    void Write(const void* buffer, unsigned count);

    std::uint64_t GetLength() const;
    std::uint64_t GetPosition() const;
    const std::string& GetFilePath() const { return m_path; }
    bool IsOpen() const { return m_fd >= 0; }
    bool IsWriting() const { return !m_tempPath.empty(); }
    /// The descriptor, for a library that reads or writes through it itself (libsndfile's
    /// sf_open_fd without closing it); GetPosition() does not follow what it does. -1 when closed.
    int GetHandle() const { return m_fd; }

    /// Finishes the file: a new file is flushed and moved into place. Raises CFileException.
    void Close();
    /// Closes without raising; a new file is discarded.
    void Abort();

private:
    [[noreturn]] void raise(int osError) const;

    int m_fd = -1;
    std::string m_path;
    std::string m_tempPath;
    std::uint64_t m_position = 0;
};
