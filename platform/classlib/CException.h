#pragma once

#include <exception>
#include <string>

/// The only exceptions in the program: failures of files and archives. Everything else reports
/// through result codes.
class CException : public std::exception {
public:
    /// A sentence for the user that names what failed and why.
    const std::string& GetErrorMessage() const { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }

protected:
    explicit CException(std::string message);

private:
    std::string m_message;
};

class CFileException final : public CException {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    /// osError is the errno value behind the failure, 0 when there is none.
    CFileException(Cause cause, int osError, std::string fileName);

    static Cause OsErrorToCause(int osError);

    Cause m_cause;
    int m_lOsError;
    std::string m_strFileName;
};

class CArchiveException final : public CException {
public:
    enum Cause {
        none,
        genericException,
        readOnly,
        endOfFile,
        writeOnly,
        badIndex,
        badClass,
        badSchema
    };

    /// detail, when given, replaces the cause's generic explanation.
    CArchiveException(Cause cause, std::string fileName, const std::string& detail = {});

    Cause m_cause;
    std::string m_strFileName;
};
