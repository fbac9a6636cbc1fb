#include "app/CShortcut.h"

#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"
#include "platform/text/Utf8.h"

#include <string_view>

namespace {

/// A value the file can hold: UTF-8, and of the control characters only those the string
/// escapes cover.
bool representable(std::string_view s) {
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && c != '\n' && c != '\t' && c != '\r') || b == 0x7F) {
            return false;
        }
    }
    return IsValidUtf8(s);
}

/// The escapes of the string value type. Blanks at either end are escaped too: readers drop
/// the blanks around a value.
std::string escapeString(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += (i == 0 || i + 1 == s.size()) ? "\\s" : " ";
            break;
        default:
            out += c;
        }
    }
    return out;
}

/// One argument of an Exec line, before the string escapes: quoted when it holds a reserved
/// character, with ", `, $ and \ escaped inside the quotes; % doubled, as it starts field codes.
std::string execArgument(std::string_view arg) {
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string_view::npos;
    std::string out = quote ? "\"" : "";
    for (char c : arg) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            out += '\\';
        }
        out += c;
    }
    if (quote) {
        out += '"';
    }
    return out;
}

/// The link file's name without folder and extension.
std::string entryName(const std::string& linkPath) {
    std::string name = linkPath.substr(linkPath.rfind('/') + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        name.resize(dot);
    }
    return name;
}

} // namespace

bool CShortcut::SetAndSave(const ShortcutInfo& info) {
    m_bChanged = 1;
    m_strLinkPath = info.linkPath;
    m_strTargetPath = info.targetPath;
    m_strWorkingDirectory = info.workingDirectory;
    m_strDescription = info.description;
    m_strArguments = info.arguments;
    m_strIconPath = info.iconPath;
    m_nIconIndex = info.iconIndex;
    m_wHotKey = info.hotKey;
    m_nShowCommand = info.showCommand;
    return Save();
}

bool CShortcut::Save() {
    if (m_bChanged == 0) {
        return true;
    }
    const std::string name = entryName(m_strLinkPath);
    for (const std::string* field : std::initializer_list<const std::string*>{
             &name, &m_strTargetPath, &m_strWorkingDirectory, &m_strDescription, &m_strIconPath,
             &m_strArguments}) {
        if (!representable(*field)) {
            return false;
        }
    }
    if (name.empty() || m_strTargetPath.empty()) {
        return false;
    }

    std::string exec = execArgument(m_strTargetPath);
    if (!m_strArguments.empty()) {
        exec += ' ' + execArgument(m_strArguments);
    }
    std::string text = "[Desktop Entry]\nType=Application\nName=" + escapeString(name) + "\n";
    if (!m_strDescription.empty()) {
        text += "Comment=" + escapeString(m_strDescription) + "\n";
    }
    text += "Exec=" + escapeString(exec) + "\n";
    if (!m_strWorkingDirectory.empty()) {
        text += "Path=" + escapeString(m_strWorkingDirectory) + "\n";
    }
    if (!m_strIconPath.empty()) {
        text += "Icon=" + escapeString(m_strIconPath) + "\n";
    }
    text += "Terminal=false\n";

    // CFile writes a temporary file and renames it into place on Close.
    CFile file;
    if (!file.Open(m_strLinkPath, CFile::modeCreate | CFile::modeWrite)) {
        return false;
    }
    try {
        file.Write(text.data(), static_cast<unsigned>(text.size()));
        file.Close();
    } catch (const CFileException&) {
        return false;
    }
    m_bChanged = 0;
    return true;
}
