#include "platform/classlib/CException.h"

#include <cerrno>
#include <cstring>

namespace {

std::string describeFile(const std::string& fileName) {
    return fileName.empty() ? std::string("an unnamed file") : "\"" + fileName + "\"";
}

std::string fileMessage(CFileException::Cause cause, int osError, const std::string& fileName) {
    std::string what;
    switch (cause) {
    case CFileException::fileNotFound:
        what = describeFile(fileName) + " was not found.";
        break;
    case CFileException::badPath:
        what = "All or part of the path " + describeFile(fileName) + " is not valid.";
        break;
    case CFileException::accessDenied:
        what = "Access to " + describeFile(fileName) + " was denied.";
        break;
    case CFileException::diskFull:
        what = "There is no space left on the disk for " + describeFile(fileName) + ".";
        break;
    case CFileException::endOfFile:
        what = "The end of " + describeFile(fileName) + " was reached unexpectedly.";
        break;
    default:
        what = "An error occurred while accessing " + describeFile(fileName) + ".";
        break;
    }
    if (osError != 0) {
        what += " (";
        what += std::strerror(osError);
        what += ")";
    }
    return what;
}

std::string archiveMessage(CArchiveException::Cause cause, const std::string& fileName,
                           const std::string& detail) {
    std::string what;
    switch (cause) {
    case CArchiveException::endOfFile:
        what = describeFile(fileName) + " ends unexpectedly: it is damaged or not a play list.";
        break;
    case CArchiveException::badIndex:
        what = describeFile(fileName) + " is damaged or not in the expected format.";
        break;
    case CArchiveException::readOnly:
        what = "Tried to write into " + describeFile(fileName) + ", which is being read.";
        break;
    case CArchiveException::writeOnly:
        what = "Tried to read from " + describeFile(fileName) + ", which is being written.";
        break;
    default:
        what =
            "An unexpected error occurred while reading or writing " + describeFile(fileName) + ".";
        break;
    }
    if (!detail.empty()) {
        what += " ";
        what += detail;
    }
    return what;
}

} // namespace

CException::CException(std::string message)
    : m_message(std::move(message)) {}

CFileException::CFileException(Cause cause, int osError, std::string fileName)
    : CException(fileMessage(cause, osError, fileName))
    , m_cause(cause)
    , m_lOsError(osError)
    , m_strFileName(std::move(fileName)) {}

CFileException::Cause CFileException::OsErrorToCause(int osError) {
    switch (osError) {
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return badPath;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return accessDenied;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case ENOSPC:
    case EDQUOT:
        return diskFull;
    case EIO:
        return hardIO;
    case ESPIPE:
        return badSeek;
    default:
        return genericException;
    }
}

CArchiveException::CArchiveException(Cause cause, std::string fileName, const std::string& detail)
    : CException(archiveMessage(cause, fileName, detail))
    , m_cause(cause)
    , m_strFileName(std::move(fileName)) {}
