#include "platform/classlib/CArchive.h"

#include "platform/classlib/AnsiCodePage.h"
#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"

#include <algorithm>
#include <cstring>

CArchive::CArchive(CFile* file, unsigned mode, unsigned bufferSize)
    : m_file(file)
    , m_mode(mode & load)
    , m_buffer(std::max(bufferSize, 16u)) {
    // A file being read does not change length under us; asking once keeps a load of many
    // strings free of a system call per string.
    if (IsLoading() && m_file != nullptr && m_file->IsOpen()) {
        m_fileLength = m_file->GetLength();
    }
}

void CArchive::Flush() {
    if (IsStoring() && m_end > 0 && m_file != nullptr) {
        m_file->Write(m_buffer.data(), static_cast<unsigned>(m_end));
        m_end = 0;
    }
}

void CArchive::Close() {
    Flush();
    m_file = nullptr;
}

std::uint64_t CArchive::GetBytesLeft() const {
    std::uint64_t left = m_end - m_begin;
    if (m_file != nullptr) {
        const std::uint64_t position = m_file->GetPosition();
        left += m_fileLength > position ? m_fileLength - position : 0;
    }
    return left;
}

void CArchive::fill() {
    m_begin = 0;
    m_end = m_file == nullptr
                ? 0
                : m_file->Read(m_buffer.data(), static_cast<unsigned>(m_buffer.size()));
}

unsigned CArchive::Read(void* buffer, unsigned count) {
    if (IsStoring()) {
        raise(CArchiveException::writeOnly);
    }
    auto* out = static_cast<char*>(buffer);
    unsigned done = 0;
    while (done < count) {
        if (m_begin == m_end) {
            fill();
            if (m_end == 0) {
                break;
            }
        }
        const auto n = static_cast<unsigned>(std::min<std::size_t>(count - done, m_end - m_begin));
        std::memcpy(out + done, m_buffer.data() + m_begin, n);
        m_begin += n;
        done += n;
    }
    return done;
}

void CArchive::Write(const void* buffer, unsigned count) {
    if (IsLoading()) {
        raise(CArchiveException::readOnly);
    }
    const auto* in = static_cast<const char*>(buffer);
    while (count > 0) {
        if (m_end == m_buffer.size()) {
            Flush();
        }
        const auto n = static_cast<unsigned>(std::min<std::size_t>(count, m_buffer.size() - m_end));
        std::memcpy(m_buffer.data() + m_end, in, n);
        m_end += n;
        in += n;
        count -= n;
    }
}

void CArchive::readExactly(void* buffer, unsigned count) {
    if (Read(buffer, count) != count) {
        raise(CArchiveException::endOfFile);
    }
}

namespace {

template <typename T>
void putLittleEndian(CArchive& ar, T value) {
    unsigned char bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(value) >> (8 * i));
    }
    ar.Write(bytes, sizeof(T));
}

template <typename T>
T fromLittleEndian(const unsigned char* bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        v |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    }
    return static_cast<T>(v);
}

} // namespace

CArchive& CArchive::operator<<(BYTE value) {
    putLittleEndian(*this, value);
    return *this;
}
CArchive& CArchive::operator<<(WORD value) {
    putLittleEndian(*this, value);
    return *this;
}
CArchive& CArchive::operator<<(DWORD value) {
    putLittleEndian(*this, value);
    return *this;
}
CArchive& CArchive::operator<<(LONG value) {
    putLittleEndian(*this, static_cast<DWORD>(value));
    return *this;
}

CArchive& CArchive::operator>>(BYTE& value) {
    unsigned char b[1];
    readExactly(b, 1);
    value = b[0];
    return *this;
}
CArchive& CArchive::operator>>(WORD& value) {
    unsigned char b[2];
    readExactly(b, 2);
    value = fromLittleEndian<WORD>(b);
    return *this;
}
CArchive& CArchive::operator>>(DWORD& value) {
    unsigned char b[4];
    readExactly(b, 4);
    value = fromLittleEndian<DWORD>(b);
    return *this;
}
CArchive& CArchive::operator>>(LONG& value) {
    DWORD raw = 0;
    *this >> raw;
    value = static_cast<LONG>(raw);
    return *this;
}

CArchive& CArchive::operator<<(const std::string& value) {
    const std::string bytes = ToAnsiCodePage(value);
    const std::size_t length = bytes.size();
    if (length < 0xFF) {
        *this << static_cast<BYTE>(length);
    } else if (length < 0xFFFE) {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(length);
    } else {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(length);
    }
    Write(bytes.data(), static_cast<unsigned>(length));
    return *this;
}

CArchive& CArchive::operator>>(std::string& value) {
    BYTE first = 0;
    *this >> first;
    DWORD length = first;
    if (first == 0xFF) {
        WORD word = 0;
        *this >> word;
        length = word;
        if (word == 0xFFFF) {
            *this >> length;
        }
    }
    if (length > GetBytesLeft()) {
        raise(CArchiveException::badIndex, "A text of " + std::to_string(length) +
                                               " bytes is announced where only " +
                                               std::to_string(GetBytesLeft()) + " remain.");
    }
    std::string bytes(length, '\0');
    readExactly(bytes.data(), length);
    value = FromAnsiCodePage(bytes);
    return *this;
}

void CArchive::WriteCount(DWORD count) {
    if (count < 0xFFFF) {
        *this << static_cast<WORD>(count);
    } else {
        *this << static_cast<WORD>(0xFFFF) << count;
    }
}

DWORD CArchive::ReadCount() {
    WORD word = 0;
    *this >> word;
    if (word != 0xFFFF) {
        return word;
    }
    DWORD count = 0;
    *this >> count;
    return count;
}

std::string CArchive::fileName() const {
    return m_file == nullptr ? std::string() : m_file->GetFilePath();
}

void CArchive::raise(int cause, const std::string& detail) const {
    throw CArchiveException(static_cast<CArchiveException::Cause>(cause), fileName(), detail);
}
