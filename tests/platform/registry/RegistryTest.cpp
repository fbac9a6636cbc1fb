#include "platform/registry/Registry.h"

#include "platform/registry/RegistryStore.h"
#include "tests/platform/registry/TextFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/// A store in a scratch folder, with helpers for the common calls.
class RegistryTest : public ::testing::Test {
protected:
    HKEY user() const { return store.Root(HKEY_CURRENT_USER); }

    HKEY create(HKEY parent, const char* path, DWORD* disposition = nullptr,
                REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                 &key, disposition),
                  ERROR_SUCCESS)
            << path;
        return key;
    }

    LONG open(HKEY parent, const char* path, HKEY& key, REGSAM access = KEY_ALL_ACCESS) {
        return RegOpenKeyEx(parent, path, 0, access, &key);
    }

    LONG setString(HKEY key, const char* name, const std::string& value) {
        return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
    }

    std::string text() const { return readText(store.FilePath()); }

    TempDir dir;
    RegistryStore store{dir.file("config/quillon/registry.reg")};
};

TEST_F(RegistryTest, CreatesKeysAndTellsWhetherTheyExisted) {
    DWORD disposition = 0;
    RegCloseKey(create(user(), "SOFTWARE\\Corvale\\QUILLON", &disposition));
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(create(user(), "software\\CORVALE\\quillon", &disposition));
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

    // The spelling of the first creation stays, whatever case later calls use.
    HKEY opened = nullptr;
    ASSERT_EQ(open(user(), "Software\\corvale\\Quillon", opened), ERROR_SUCCESS);
    ASSERT_EQ(setString(opened, "x", "y"), ERROR_SUCCESS);
    EXPECT_NE(text().find("[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n\"x\"=\"y\"\n"),
              std::string::npos)
        << text();
    RegCloseKey(opened);

    HKEY missing = reinterpret_cast<HKEY>(&disposition);
    EXPECT_EQ(open(user(), "SOFTWARE\\Nobody", missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
}

TEST_F(RegistryTest, ReadsReportSizeTypeAndMoreData) {
    HKEY key = create(user(), "SOFTWARE\\Test");
    const std::string long100(99, 'x');
    ASSERT_EQ(setString(key, "Long", long100), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "long", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 100u);

    BYTE buffer[128];
    std::memset(buffer, 0xAA, sizeof buffer);
    size = 64;
    EXPECT_EQ(RegQueryValueEx(key, "Long", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(buffer[0], 0xAA); // untouched

    size = 100;
    ASSERT_EQ(RegQueryValueEx(key, "Long", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), long100);
    EXPECT_EQ(buffer[100], 0xAA);
    EXPECT_EQ(RegQueryValueEx(key, "Long", nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);

    // A write in other case replaces the value and keeps the spelling of its first name.
    ASSERT_EQ(setString(key, "LONG", "short"), ERROR_SUCCESS);
    EXPECT_NE(text().find("\"Long\"=\"short\""), std::string::npos) << text();
    RegCloseKey(key);
}

TEST_F(RegistryTest, RefusesHandlesThatAreNotOpen) {
    HKEY key = create(user(), "SOFTWARE\\Handles");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    HKEY sub = nullptr;
    for (HKEY bad : {key, static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(&sub)}) {
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
        EXPECT_EQ(setString(bad, "x", "y"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(open(bad, "x", sub), ERROR_INVALID_HANDLE);
    }
    // Roots may be "closed" any number of times and stay usable.
    EXPECT_EQ(RegCloseKey(user()), ERROR_SUCCESS);
    ASSERT_EQ(open(user(), "SOFTWARE\\Handles", sub), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(sub), ERROR_SUCCESS);
}

TEST_F(RegistryTest, DeletesOnlyKeysWithoutSubkeys) {
    RegCloseKey(create(user(), "SOFTWARE\\Corvale\\QUILLON\\Mixer"));
    HKEY quillon = nullptr;
    ASSERT_EQ(open(user(), "SOFTWARE\\Corvale\\QUILLON", quillon), ERROR_SUCCESS);
    ASSERT_EQ(setString(quillon, "Default Play List", "demo.pla"), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE\\Corvale\\QUILLON"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE\\Nothing\\Below"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(quillon, "MIXER"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(user(), "software\\corvale\\quillon"), ERROR_SUCCESS);
    EXPECT_EQ(text().find("QUILLON"), std::string::npos) << text();

    // The handle outlives its key; it says so instead of recreating the key.
    EXPECT_EQ(setString(quillon, "Default Play List", "x"), ERROR_KEY_DELETED);
    EXPECT_EQ(text().find("QUILLON"), std::string::npos);
    EXPECT_EQ(RegCloseKey(quillon), ERROR_SUCCESS);
    // The always-present keys stay.
    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE"), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, RefusesNamesTheStoreCouldNotKeep) {
    HKEY key = nullptr;
    std::string deep = "SOFTWARE";
    for (int i = 0; i < 512; ++i) {
        deep += "\\k";
    }
    for (const std::string& path :
         {std::string("SOFTWARE\\\\Twice"), std::string("SOFTWARE\\"),
          std::string("SOFTWARE\\") + std::string(256, 'k'), std::string("SOFTWARE\\a\nb"), deep}) {
        EXPECT_EQ(RegCreateKeyEx(user(), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                 nullptr),
                  ERROR_INVALID_PARAMETER)
            << path;
    }
    key = create(user(), "SOFTWARE\\Names");
    EXPECT_EQ(setString(key, "two\nlines", "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, "x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

// The predefined roots address the store in the user's configuration folder. Each case runs in
// a child process, which makes the process's default store for itself.
int runChild(const std::string& xdgConfigHome, const std::string& home) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (xdgConfigHome.empty()) {
            ::unsetenv("XDG_CONFIG_HOME");
        } else {
            ::setenv("XDG_CONFIG_HOME", xdgConfigHome.c_str(), 1);
        }
        ::setenv("HOME", home.c_str(), 1);
        HKEY key = nullptr;
        DWORD value = 7;
        const bool ok =
            RegCreateKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\Corvale\\QUILLON", 0, nullptr, 0,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS &&
            RegSetValueEx(key, "Seven", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4) ==
                ERROR_SUCCESS &&
            RegCloseKey(key) == ERROR_SUCCESS &&
            RegistryStore::ProcessDefault().FilePath() == RegistryStore::DefaultFilePath();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RegistryDefaultStoreTest, LivesInTheUserConfigFolder) {
    TempDir dir;
    ASSERT_EQ(runChild(dir.file("xdg"), dir.file("home")), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("xdg/quillon/registry.reg")));
    // A relative XDG_CONFIG_HOME is ignored, as is an unset one: ~/.config then.
    ASSERT_EQ(runChild("relative/config", dir.file("home1")), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("home1/.config/quillon/registry.reg")));
    ASSERT_EQ(runChild("", dir.file("home2")), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("home2/.config/quillon/registry.reg")));
}

} // namespace
