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

StartupShortcutResult UpdateStartupShortcut(DWORD startWithWindows, const std::string& dataFolder,
                                            const std::string& executablePath) {
    using Result = StartupShortcutResult;
    std::string folder;
    if (GetStartupFolder(folder) != ERROR_SUCCESS) {
        // Off, there is nothing to remove where no folder can be.
        return startWithWindows == 1 ? Result{Result::noFolder, UserConfigFolder() + "/autostart"}
                                     : Result{};
    }
    const std::string link = folder + "/" + LoadResourceString(IDS_SHORTCUT_NAME);
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        // unlink, not remove: whatever is not a plain file (a folder of that name) is not ours.
        if ((S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) ||
            (::unlink(link.c_str()) != 0 && errno != ENOENT)) {
            return {Result::cannotRemove, link};
        }
    }
    if (startWithWindows != 1) {
        return {};
    }
    if (::lstat(link.c_str(), &st) == 0) {
        return {Result::cannotRemove, link};
    }
    ShortcutInfo info;
    info.linkPath = link;
    info.targetPath = executablePath;
    info.workingDirectory = dataFolder;
    info.description = "Shortcut to Quillon";
    info.iconPath = "quillon";
    info.iconIndex = 0;
    info.hotKey = 0;
    info.showCommand = kShowNormal;
    CShortcut shortcut;
    if (!shortcut.SetAndSave(info)) {
        return {Result::cannotWrite, link};
    }
    return {};
}

StartupShortcutResult UpdateStartupShortcut(const std::string& executablePath) {
    return UpdateStartupShortcut(g_bStartWithWindows, g_szCurrentDir, executablePath);
}

std::string DescribeStartupShortcutProblem(const StartupShortcutResult& result) {
    const std::string saved = " Your settings have been saved.";
    switch (result.status) {
    case StartupShortcutResult::updated:
        break;
    case StartupShortcutResult::noFolder:
        return "Unable to make the autostart folder " + result.path +
               ", so Quillon will not start when you log in." + saved;
    case StartupShortcutResult::cannotRemove:
        return "Unable to remove or replace the autostart entry " + result.path +
               ": it is read-only or cannot be deleted, and has been left as it is." + saved +
               " Make it writable, or remove it, and confirm the options again.";
    case StartupShortcutResult::cannotWrite:
        return "Unable to write the autostart entry " + result.path +
               ", so Quillon will not start when you log in." + saved;
    }
    return {};
}
