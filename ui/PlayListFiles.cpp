#include "ui/PlayListFiles.h"

#include "platform/files/FindPathNoCase.h"

#include <algorithm>
#include <filesystem>
#include <fnmatch.h>
#include <system_error>
#include <unistd.h>

std::vector<std::string> ListPlayListFiles(const std::string& folder, const std::string& pattern) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') {
            continue;
        }
        if (::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0) {
            continue;
        }
        std::error_code statError;
        if (!fs::is_regular_file(it->path(), statError)) {
            continue;
        }
        if (::access(it->path().c_str(), R_OK) != 0) {
            continue;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string foldedA = FoldCase(a);
        const std::string foldedB = FoldCase(b);
        return foldedA != foldedB ? foldedA < foldedB : a < b;
    });
    return names;
}
