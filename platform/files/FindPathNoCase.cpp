#include "platform/files/FindPathNoCase.h"

#include "platform/text/Utf8.h"

#include <dirent.h>
#include <sys/stat.h>

namespace {

// Decodes one UTF-8 code point; malformed bytes come back one at a time as themselves, so that
// any byte string folds to something.
char32_t next(std::string_view s, std::size_t& i) {
    char32_t cp = 0;
    const std::size_t n = DecodeUtf8(s, i, cp);
    if (n == 0) {
        return static_cast<unsigned char>(s[i++]) | 0x80000000u;
    }
    i += n;
    return cp;
}

char32_t fold(char32_t c) {
    if (c >= 'A' && c <= 'Z') {
        return c + 32;
    }
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return c + 32;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    // Latin Extended-A pairs capitals and small letters as even/odd code points, except in the
    // two stretches where the pairing is shifted by one.
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (shifted) {
            return (c % 2 == 1) ? c + 1 : c;
        }
        return (c % 2 == 0) ? c + 1 : c;
    }
    return c;
}

void append(char32_t cp, std::string& out) {
    if (cp & 0x80000000u) {
        out += static_cast<char>(cp & 0xFF); // a malformed byte, kept as it was
    } else {
        AppendUtf8(cp, out);
    }
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` named `component` without regard to case; an exact match first.
std::optional<std::string> findEntry(const std::string& folder, const std::string& component) {
    const std::string exact = folder + "/" + component;
    if (exists(exact)) {
        return component;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    const std::string wanted = FoldCase(component);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (FoldCase(name) == wanted) {
            // Several names may fold alike; take the first in sorted order, so the choice does
            // not depend on the order the file system lists them in.
            if (!found || name < *found) {
                found = std::string(name);
            }
        }
    }
    ::closedir(dir);
    return found;
}

} // namespace

std::string FoldCase(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        append(fold(next(name, i)), out);
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return FoldCase(a) == FoldCase(b);
}

std::optional<std::string> FindPathNoCase(const std::string& folder, std::string_view relative) {
    std::string path = folder;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string_view::npos) {
            end = relative.size();
        }
        const std::string component(relative.substr(start, end - start));
        if (component.empty() || component == "." || component == "..") {
            return std::nullopt;
        }
        const auto entry = findEntry(path, component);
        if (!entry) {
            return std::nullopt;
        }
        path += "/" + *entry;
        start = end + 1;
    }
    return path;
}
