#include "platform/registry/Registry.h"

#include "platform/registry/RegistryStore.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string readText(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

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
    HKEY key = create(user(), "SOFTWARE\\Corvale\\QUILLON", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    key = create(user(), "software\\CORVALE\\quillon", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

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
    // HKEY_CURRENT_USER\SOFTWARE exists from the start, as on the platform.
    EXPECT_EQ(open(user(), "SOFTWARE", missing), ERROR_SUCCESS);
    RegCloseKey(missing);
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
    type = 0;
    EXPECT_EQ(RegQueryValueEx(key, "Long", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(buffer[0], 0xAA); // untouched

    size = 100;
    ASSERT_EQ(RegQueryValueEx(key, "Long", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), long100);
    EXPECT_EQ(buffer[100], 0xAA);

    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueEx(key, "Missing", nullptr, nullptr, buffer, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueEx(key, "Long", nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);

    // The default value has the empty name; null names it too.
    ASSERT_EQ(setString(key, nullptr, "default"), ERROR_SUCCESS);
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueEx(key, "", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    EXPECT_NE(text().find("@=\"default\""), std::string::npos);

    // A value keeps the spelling of its first name; a write in other case replaces it.
    ASSERT_EQ(setString(key, "LONG", "short"), ERROR_SUCCESS);
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueEx(key, "Long", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_NE(text().find("\"Long\"=\"short\""), std::string::npos) << text();
    RegCloseKey(key);
}

TEST_F(RegistryTest, KeepsTheBytesAndTypeOfEveryWrite) {
    HKEY key = create(user(), "SOFTWARE\\Bytes");
    const BYTE odd[] = {'a', 0, 'b'};
    ASSERT_EQ(RegSetValueEx(key, "odd", 0, REG_SZ, odd, 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "weird type", 0, 0xDEADBEEF, odd, 2), ERROR_SUCCESS);
    RegCloseKey(key);

    // Through a second store on the same file, as another run of the program would see it.
    RegistryStore again(store.FilePath());
    ASSERT_EQ(open(again.Root(HKEY_CURRENT_USER), "SOFTWARE\\Bytes", key), ERROR_SUCCESS);
    BYTE buffer[8] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueEx(key, "odd", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Bytes(buffer, buffer + size), (Bytes{'a', 0, 'b'}));
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueEx(key, "empty", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 0u);
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueEx(key, "weird type", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0xDEADBEEFu);
    EXPECT_EQ(size, 2u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, RefusesHandlesThatAreNotOpen) {
    HKEY key = create(user(), "SOFTWARE\\Handles");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    BYTE buffer[4];
    DWORD size = sizeof buffer;
    HKEY sub = nullptr;
    for (HKEY bad : {key, static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(&size)}) {
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueEx(bad, "x", nullptr, nullptr, buffer, &size), ERROR_INVALID_HANDLE);
        EXPECT_EQ(setString(bad, "x", "y"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(open(bad, "x", sub), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKey(bad, "x"), ERROR_INVALID_HANDLE);
    }
    // Roots may be "closed" any number of times and stay usable.
    EXPECT_EQ(RegCloseKey(user()), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    ASSERT_EQ(open(user(), "SOFTWARE\\Handles", sub), ERROR_SUCCESS);

    // A store that goes takes its handles with it.
    auto other = std::make_unique<RegistryStore>(dir.file("other.reg"));
    HKEY root = other->Root(HKEY_LOCAL_MACHINE);
    HKEY software = nullptr;
    ASSERT_EQ(open(root, "SOFTWARE", software), ERROR_SUCCESS);
    other.reset();
    EXPECT_EQ(RegCloseKey(software), ERROR_INVALID_HANDLE);
    EXPECT_EQ(open(root, "SOFTWARE", software), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(sub), ERROR_SUCCESS);
}

TEST_F(RegistryTest, GrantsOnlyTheAccessAsked) {
    RegCloseKey(create(user(), "SOFTWARE\\Access"));
    HKEY reader = nullptr;
    HKEY writer = nullptr;
    ASSERT_EQ(open(user(), "SOFTWARE\\Access", reader, KEY_READ), ERROR_SUCCESS);
    ASSERT_EQ(open(user(), "SOFTWARE\\Access", writer, KEY_WRITE), ERROR_SUCCESS);
    EXPECT_EQ(setString(reader, "x", "y"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(reader, "x"), ERROR_ACCESS_DENIED);
    ASSERT_EQ(setString(writer, "x", "y"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(writer, "x", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueEx(reader, "x", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);

    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyEx(reader, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(sub, nullptr);
    ASSERT_EQ(RegCreateKeyEx(writer, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(sub);
    // Opening what exists needs no right to create.
    ASSERT_EQ(RegCreateKeyEx(reader, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(sub);
    RegCloseKey(reader);
    RegCloseKey(writer);
}

TEST_F(RegistryTest, DeletesOnlyKeysWithoutSubkeys) {
    RegCloseKey(create(user(), "SOFTWARE\\Corvale\\QUILLON\\Mixer"));
    HKEY quillon = nullptr;
    ASSERT_EQ(open(user(), "SOFTWARE\\Corvale\\QUILLON", quillon), ERROR_SUCCESS);
    ASSERT_EQ(setString(quillon, "Default Play List", "demo.pla"), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE\\Corvale\\QUILLON"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE\\Corvale\\Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE\\Nothing\\Below"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(quillon, "MIXER"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(user(), "software\\corvale\\quillon"), ERROR_SUCCESS);
    EXPECT_EQ(text().find("QUILLON"), std::string::npos) << text();

    // The handle outlives its key; it says so instead of recreating the key.
    BYTE buffer[16];
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueEx(quillon, "Default Play List", nullptr, nullptr, buffer, &size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(setString(quillon, "Default Play List", "x"), ERROR_KEY_DELETED);
    EXPECT_EQ(text().find("QUILLON"), std::string::npos);
    EXPECT_EQ(RegCloseKey(quillon), ERROR_SUCCESS);

    // The always-present keys stay.
    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE\\Corvale"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(user(), nullptr), ERROR_INVALID_PARAMETER);

    HKEY key = create(user(), "SOFTWARE\\Values");
    ASSERT_EQ(setString(key, "a", "1"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "b", "2"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(key, "A"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(key, "a"), ERROR_FILE_NOT_FOUND);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueEx(key, "b", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, RefusesNamesTheStoreCouldNotKeep) {
    HKEY key = nullptr;
    for (const std::string& path :
         {std::string("SOFTWARE\\\\Twice"), std::string("\\SOFTWARE"), std::string("SOFTWARE\\"),
          std::string("SOFTWARE\\") + std::string(256, 'k'), std::string("SOFTWARE\\a\nb")}) {
        EXPECT_EQ(RegCreateKeyEx(user(), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                 nullptr),
                  ERROR_INVALID_PARAMETER)
            << path;
    }
    std::string deep = "SOFTWARE";
    for (int i = 0; i < 512; ++i) {
        deep += "\\k";
    }
    EXPECT_EQ(
        RegCreateKeyEx(user(), deep.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyEx(user(), "SOFTWARE\\Volatile", 0, nullptr, REG_OPTION_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);

    key = create(user(), "SOFTWARE\\Names");
    EXPECT_EQ(setString(key, "two\nlines", "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, "x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(setString(key, "[brackets] \"quotes\" \\slashes\\ = ;", "x"), ERROR_SUCCESS);
    BYTE buffer[4];
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueEx(key, "[BRACKETS] \"QUOTES\" \\SLASHES\\ = ;", nullptr, nullptr,
                              buffer, &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(store.Read([](const RegistryTree&) { return ERROR_SUCCESS; }), ERROR_SUCCESS);
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
    const std::string expected = "[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n"
                                 "\"Seven\"=dword:00000007\n";
    ASSERT_EQ(runChild(dir.file("xdg"), dir.file("home")), 0);
    EXPECT_NE(readText(dir.file("xdg/quillon/registry.reg")).find(expected), std::string::npos);

    // A relative XDG_CONFIG_HOME is ignored, as is an unset one: ~/.config then.
    ASSERT_EQ(runChild("relative/config", dir.file("home1")), 0);
    EXPECT_NE(readText(dir.file("home1/.config/quillon/registry.reg")).find(expected),
              std::string::npos);
    ASSERT_EQ(runChild("", dir.file("home2")), 0);
    EXPECT_NE(readText(dir.file("home2/.config/quillon/registry.reg")).find(expected),
              std::string::npos);
}

} // namespace
