#include "platform/registry/UserConfigFolder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

std::string UserConfigFolder() {
    // Relative values are to be ignored: they would depend on the current directory.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return config;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.config";
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return std::string(found->pw_dir) + "/.config";
    }
    return "/.config";
}
