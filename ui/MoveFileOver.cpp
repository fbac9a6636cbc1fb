#include "ui/MoveFileOver.h"

#include "platform/classlib/CFile.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <vector>

CFileException::Cause MoveFileOver(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return CFileException::none;
    }
    const int osError = errno;
    if (osError != EXDEV) {
        return CFileException::OsErrorToCause(osError);
    }
    const CFileException::Cause copied = CopyFileOver(from, to);
    if (copied == CFileException::none) {
        // The file is saved; a working file left behind harms nothing.
        ::unlink(from.c_str());
    }
    return copied;
}

CFileException::Cause CopyFileOver(const std::string& from, const std::string& to) {
    try {
        CFile in(from, CFile::modeRead);
        CFile out(to, CFile::modeCreate | CFile::modeWrite);
        std::vector<char> buffer(1 << 16);
        while (const unsigned count =
                   in.Read(buffer.data(), static_cast<unsigned>(buffer.size()))) {
            out.Write(buffer.data(), count);
        }
        out.Close();
        return CFileException::none;
    } catch (const CFileException& error) {
        return error.m_cause;
    }
}
