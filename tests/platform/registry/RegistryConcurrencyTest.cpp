#include "platform/registry/RegistryStore.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kValuesEach = 40;

/// Writes kValuesEach values named "<prefix> <n>" through a store of its own, as a second copy
/// of the program would.
bool writeValues(const std::string& file, const std::string& prefix) {
    RegistryStore store(file);
    HKEY key = nullptr;
    if (RegCreateKeyEx(store.Root(HKEY_CURRENT_USER), "SOFTWARE\\Corvale\\QUILLON", 0, nullptr, 0,
                       KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    for (DWORD n = 0; n < kValuesEach; ++n) {
        const std::string name = prefix + " " + std::to_string(n);
        ok = ok && RegSetValueEx(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n),
                                 4) == ERROR_SUCCESS;
    }
    return RegCloseKey(key) == ERROR_SUCCESS && ok;
}

int countValues(const std::string& file, const std::vector<std::string>& prefixes) {
    RegistryStore store(file);
    HKEY key = nullptr;
    if (RegOpenKeyEx(store.Root(HKEY_CURRENT_USER), "SOFTWARE\\Corvale\\QUILLON", 0, KEY_READ,
                     &key) != ERROR_SUCCESS) {
        return -1;
    }
    int found = 0;
    for (const auto& prefix : prefixes) {
        for (DWORD n = 0; n < kValuesEach; ++n) {
            const std::string name = prefix + " " + std::to_string(n);
            DWORD value = 0;
            DWORD size = sizeof value;
            if (RegQueryValueEx(key, name.c_str(), nullptr, nullptr,
                                reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                value == n) {
                ++found;
            }
        }
    }
    RegCloseKey(key);
    return found;
}

TEST(RegistryConcurrencyTest, ThreadsWithStoresOfTheirOwnKeepEachOthersWrites) {
    TempDir dir;
    const std::string file = dir.file("quillon/registry.reg");
    bool ok[3] = {};
    std::thread a([&] { ok[0] = writeValues(file, "Fader"); });
    std::thread b([&] { ok[1] = writeValues(file, "Setting"); });
    std::thread c([&] { ok[2] = writeValues(file, "Other"); });
    a.join();
    b.join();
    c.join();
    EXPECT_TRUE(ok[0] && ok[1] && ok[2]);
    EXPECT_EQ(countValues(file, {"Fader", "Setting", "Other"}), 3 * kValuesEach);
}

TEST(RegistryConcurrencyTest, ProcessesKeepEachOthersWrites) {
    TempDir dir;
    const std::string file = dir.file("quillon/registry.reg");
    std::vector<pid_t> children;
    for (const char* prefix : {"First", "Second"}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::_exit(writeValues(file, prefix) ? 0 : 1);
        }
        ASSERT_GT(pid, 0);
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(countValues(file, {"First", "Second"}), 2 * kValuesEach);
}

} // namespace
