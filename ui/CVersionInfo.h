#pragma once

#include <string>

/// The version of a file as its version resource gives it: the file and product versions of
/// the fixed part, and one string value.
class CVersionInfo {
public:
    /// module: the file to read (the program's own executable for the program's version).
    /// languageBlock and key name the string to query ("080904E4", "FileVersion"); when
    /// either is empty no string is queried. Whatever the file does not hold stays empty.
    CVersionInfo(const std::string& module, const std::string& languageBlock,
                 const std::string& key);

    /// The queried string.
    const std::string& GetValue() const { return m_strValue; }
    /// "%u,%u,%u,%u": the four numbers of the file version.
    const std::string& GetFileVersion() const { return m_strFileVersion; }
    const std::string& GetProductVersion() const { return m_strProductVersion; }

private:
    std::string m_strValue;
    std::string m_strFileVersion;
    std::string m_strProductVersion;
};
