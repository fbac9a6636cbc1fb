#include "app/StartupShortcut.h"

#include "app/CShortcut.h"
#include "app/Globals.h"
#include "platform/registry/Registry.h"
#include "platform/registry/UserConfigFolder.h"
#include "res/StringTable.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int32_t kShowNormal = 1;

} // namespace

LONG GetStartupFolder(std::string& folder) {
    const std::string autostart = UserConfigFolder() + "/autostart";
    std::error_code error;
    std::filesystem::create_directories(autostart, error);
    if (!std::filesystem::is_directory(autostart)) {
        const int code = error ? error.value() : ENOTDIR;
        return code == EACCES || code == EPERM || code == EROFS ? ERROR_ACCESS_DENIED
                                                                : ERROR_PATH_NOT_FOUND;
    }
    folder = autostart;
    return ERROR_SUCCESS;
}

std::string GetExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

void UpdateStartupShortcut(const std::string& executablePath) {
    std::string folder;
    if (GetStartupFolder(folder) != ERROR_SUCCESS) {
        return;
    }
    const std::string link = folder + "/" + LoadResourceString(IDS_SHORTCUT_NAME);
    // unlink, not remove: whatever is not a plain file (a folder of that name) is not ours.
    ::unlink(link.c_str());
    struct stat st {};
    if (g_bStartWithWindows != 1 || ::lstat(link.c_str(), &st) == 0) {
        return;
    }
    ShortcutInfo info;
    info.linkPath = link;
    info.targetPath = executablePath;
    info.workingDirectory = g_szCurrentDir;
    info.description = "Shortcut to Quillon";
    info.iconPath = "quillon";
    info.iconIndex = 0;
    info.hotKey = 0;
    info.showCommand = kShowNormal;
    CShortcut shortcut;
    shortcut.SetAndSave(info);
}
