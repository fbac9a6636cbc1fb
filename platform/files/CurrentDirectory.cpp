#include "platform/files/CurrentDirectory.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

std::optional<std::string> GetCurrentDirectoryPath() {
    std::vector<char> buffer(256);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            return std::string(buffer.data());
        }
        if (errno != ERANGE || buffer.size() > (1u << 20)) {
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
}
