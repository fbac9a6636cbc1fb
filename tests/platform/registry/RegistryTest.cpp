#include "platform/registry/Registry.h"

#include "platform/registry/RegistryStore.h"
#include "tests/platform/registry/TextFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char* const kQuillon = "SOFTWARE\\Corvale\\QUILLON";

LONG setDword(RegistryStore& store, const char* path, const std::string& name, DWORD value) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyEx(store.Root(HKEY_CURRENT_USER), path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueEx(key, name.c_str(), 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(key);
    }
    return result;
}

LONG getDword(RegistryStore& store, const char* path, const std::string& name, DWORD& value) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyEx(store.Root(HKEY_CURRENT_USER), path, 0, KEY_READ, &key);
    if (result == ERROR_SUCCESS) {
        DWORD size = sizeof value;
        result = RegQueryValueEx(key, name.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    return result;
}

LONG setString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
}

/// A store in a scratch folder.
class RegistryTest : public ::testing::Test {
protected:
    HKEY user() const { return store.Root(HKEY_CURRENT_USER); }
    LONG create(const std::string& path, HKEY& key) {
        return RegCreateKeyEx(user(), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr);
    }
    static LONG open(HKEY parent, const char* path, HKEY& key) {
        return RegOpenKeyEx(parent, path, 0, KEY_ALL_ACCESS, &key);
    }
    std::string text() const { return readText(store.FilePath()); }

    TempDir dir;
    RegistryStore store{dir.file("config/quillon/registry.reg")};
};

TEST_F(RegistryTest, KeysKeepTheirFirstSpellingAndNamesTheStoreCouldNotKeepAreRefused) {
    HKEY key = nullptr;
    ASSERT_EQ(create(kQuillon, key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(create("software\\CORVALE\\quillon", key), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "Value", "x"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "VALUE", "y"), ERROR_SUCCESS); // values keep theirs too
    EXPECT_NE(text().find("[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n\"Value\"=\"y\"\n"),
              std::string::npos)
        << text();
    EXPECT_EQ(setString(key, "two\nlines", "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, "x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);

    HKEY missing = reinterpret_cast<HKEY>(&key);
    EXPECT_EQ(open(user(), "SOFTWARE\\Nobody", missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    std::string deep = "SOFTWARE";
    for (int i = 0; i < 512; ++i) {
        deep += "\\k";
    }
    for (const std::string& path :
         {std::string("SOFTWARE\\\\Twice"), std::string("SOFTWARE\\"),
          "SOFTWARE\\" + std::string(256, 'k'), std::string("SOFTWARE\\a\nb"), deep}) {
        EXPECT_EQ(create(path, missing), ERROR_INVALID_PARAMETER) << path;
    }
}

TEST_F(RegistryTest, HandlesThatAreNotOpenAndKeysThatWentAreRefused) {
    HKEY key = nullptr;
    ASSERT_EQ(create("SOFTWARE\\Corvale\\QUILLON\\Mixer", key), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    HKEY sub = nullptr;
    for (HKEY bad : {key, static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(&sub)}) {
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
        EXPECT_EQ(setString(bad, "x", "y"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(open(bad, "x", sub), ERROR_INVALID_HANDLE);
    }
    // Roots may be "closed" any number of times and stay usable.
    EXPECT_EQ(RegCloseKey(user()), ERROR_SUCCESS);
    // Only keys without subkeys are deleted; the always-present ones stay.
    HKEY quillon = nullptr;
    ASSERT_EQ(open(user(), kQuillon, quillon), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(user(), kQuillon), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE\\Nothing\\Below"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(quillon, "MIXER"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(user(), "software\\corvale\\quillon"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(user(), "SOFTWARE"), ERROR_ACCESS_DENIED);
    // The handle outlives its key; it says so instead of making the key again.
    EXPECT_EQ(setString(quillon, "Default Play List", "x"), ERROR_KEY_DELETED);
    EXPECT_EQ(text().find("QUILLON"), std::string::npos) << text();
    EXPECT_EQ(RegCloseKey(quillon), ERROR_SUCCESS);
}

// The predefined roots' store is kept in the user's configuration folder.
TEST(RegistryDefaultStoreTest, LivesInTheUserConfigFolder) {
    const char* const home = std::getenv("HOME");
    const std::string saved = home == nullptr ? "" : home;
    ::setenv("HOME", "/home/someone", 1);
    const std::pair<const char*, const char*> cases[] = {
        {"/xdg", "/xdg/quillon/registry.reg"},
        // A relative XDG_CONFIG_HOME is ignored, as is an unset one: ~/.config then.
        {"relative/config", "/home/someone/.config/quillon/registry.reg"},
        {nullptr, "/home/someone/.config/quillon/registry.reg"},
    };
    for (const auto& [xdgConfigHome, expected] : cases) {
        if (xdgConfigHome == nullptr) {
            ::unsetenv("XDG_CONFIG_HOME");
        } else {
            ::setenv("XDG_CONFIG_HOME", xdgConfigHome, 1);
        }
        EXPECT_EQ(RegistryStore::DefaultFilePath(), expected);
    }
    ::setenv("HOME", saved.c_str(), 1);
}

TEST_F(RegistryTest, KeepsAPrivateFileReplacedWholeAndOnlyWhenSomethingChanged) {
    // Reading a store that does not exist yet makes nothing.
    DWORD value = 0;
    EXPECT_EQ(getDword(store, kQuillon, "x", value), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir.file("config")));

    ASSERT_EQ(setDword(store, kQuillon, "Start With Windows", 1), ERROR_SUCCESS);
    EXPECT_EQ(fs::status(store.FilePath()).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(dir.file("config/quillon")).permissions(), fs::perms(0700));
    // A mode the user chose is kept; no temporary file is left behind.
    ::chmod(store.FilePath().c_str(), 0644);
    ASSERT_EQ(setDword(store, kQuillon, "Start With Windows", 0), ERROR_SUCCESS);
    EXPECT_EQ(fs::status(store.FilePath()).permissions(), fs::perms(0644));
    EXPECT_EQ(filesIn(dir.file("config/quillon")),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
    // Writing what is already stored leaves the file: every real write renames a new one.
    struct stat before {};
    struct stat after {};
    ::stat(store.FilePath().c_str(), &before);
    ASSERT_EQ(setDword(store, kQuillon, "Start With Windows", 0), ERROR_SUCCESS);
    ::stat(store.FilePath().c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(RegistryTest, SetsADamagedFileAsideWithANoticeAndStartsEmpty) {
    const std::string path = dir.file("registry.reg");
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n"
                                "\"Start With Windows\"=dword:00000001\n"
                                "\"Default Play List\"=\"demo.pla\n";
    writeText(path, damaged);
    RegistryStore damagedStore(path);
    testing::internal::CaptureStderr();
    DWORD value = 5;
    EXPECT_EQ(getDword(damagedStore, kQuillon, "Start With Windows", value), ERROR_FILE_NOT_FOUND);
    const std::string notice = testing::internal::GetCapturedStderr();
    EXPECT_EQ(value, 5u);
    const auto names = filesIn(dir.path());
    ASSERT_EQ(names.size(), 2u) << testing::PrintToString(names);
    EXPECT_EQ(names[0].rfind("registry.reg.damaged-", 0), 0u) << names[0];
    EXPECT_EQ(readText(dir.file(names[0])), damaged);
    EXPECT_NE(notice.find("line 5"), std::string::npos) << notice;
    EXPECT_NE(notice.find(dir.file(names[0])), std::string::npos) << notice;

    // The store goes on empty; a second damaged file gets a name of its own.
    ASSERT_EQ(setDword(damagedStore, kQuillon, "Start With Windows", 1), ERROR_SUCCESS);
    writeText(path, "garbage");
    testing::internal::CaptureStderr();
    EXPECT_EQ(setDword(damagedStore, "SOFTWARE\\Other", "x", 2), ERROR_SUCCESS);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(filesIn(dir.path()).size(), 4u);
    EXPECT_EQ(getDword(damagedStore, "SOFTWARE\\Other", "x", value), ERROR_SUCCESS);
    EXPECT_EQ(value, 2u);
}

TEST_F(RegistryTest, NeitherReadsNorWritesBeyondItsSizeLimitNorTakesAFolderForAFile) {
    const std::string path = dir.file("registry.reg");
    RegistryStore small(path, 4096);
    ASSERT_EQ(setDword(small, "SOFTWARE\\Small", "a", 1), ERROR_SUCCESS);
    const std::string before = readText(path);
    // A write that would make the file too big is refused and leaves the file alone.
    HKEY key = nullptr;
    ASSERT_EQ(open(small.Root(HKEY_CURRENT_USER), "SOFTWARE\\Small", key), ERROR_SUCCESS);
    const std::vector<BYTE> big(3000, 0x41);
    EXPECT_EQ(RegSetValueEx(key, "big", 0, REG_BINARY, big.data(), 3000), ERROR_CANTWRITE);
    RegCloseKey(key);
    EXPECT_EQ(readText(path), before);
    // A file that grew too big by other hands is set aside unread.
    writeText(path, before + std::string(1 << 20, ';'));
    testing::internal::CaptureStderr();
    DWORD value = 0;
    EXPECT_EQ(getDword(small, "SOFTWARE\\Small", "a", value), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("larger than 4096 bytes"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(path));

    fs::create_directories(dir.file("folder.reg/inside"));
    RegistryStore folder(dir.file("folder.reg"));
    EXPECT_EQ(getDword(folder, "SOFTWARE", "x", value), ERROR_CANTREAD) << "not an empty store";
    EXPECT_NE(setDword(folder, "SOFTWARE", "x", 1), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(dir.file("folder.reg/inside")));
}

// Every write reads the file afresh under a lock: another process and two threads, each with a
// store of its own as a second copy of the program has, lose none of each other's writes.
TEST_F(RegistryTest, ProcessesAndThreadsWritingAtOnceKeepEachOthersWrites) {
    constexpr DWORD kEach = 40;
    const auto writeAll = [this](const std::string& prefix) {
        RegistryStore own(store.FilePath());
        bool ok = true;
        for (DWORD n = 0; n < kEach; ++n) {
            ok = setDword(own, kQuillon, prefix + std::to_string(n), n) == ERROR_SUCCESS && ok;
        }
        return ok;
    };
    const pid_t child = ::fork(); // before the threads start
    if (child == 0) {
        ::_exit(writeAll("Process ") ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    bool ok[2] = {};
    std::thread a([&] { ok[0] = writeAll("Fader "); });
    std::thread b([&] { ok[1] = writeAll("Setting "); });
    a.join();
    b.join();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(ok[0] && ok[1]);
    for (const std::string prefix : {"Process ", "Fader ", "Setting "}) {
        for (DWORD n = 0; n < kEach; ++n) {
            DWORD value = kEach;
            EXPECT_EQ(getDword(store, kQuillon, prefix + std::to_string(n), value), ERROR_SUCCESS);
            EXPECT_EQ(value, n) << prefix << n;
        }
    }
}

} // namespace
