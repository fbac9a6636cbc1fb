#include "platform/registry/RegistryStore.h"

#include "tests/platform/registry/TextFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

LONG setDword(RegistryStore& store, const char* path, const char* name, DWORD value) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyEx(store.Root(HKEY_CURRENT_USER), path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(key);
    }
    return result;
}

LONG getDword(RegistryStore& store, const char* path, const char* name, DWORD& value) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyEx(store.Root(HKEY_CURRENT_USER), path, 0, KEY_READ, &key);
    if (result == ERROR_SUCCESS) {
        DWORD size = sizeof value;
        result =
            RegQueryValueEx(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    return result;
}

TEST(RegistryStoreTest, KeepsAReadableFileReplacedWhole) {
    TempDir dir;
    RegistryStore store(dir.file("cfg/quillon/registry.reg"));
    // Reading a store that does not exist yet makes nothing.
    DWORD value = 0;
    EXPECT_EQ(getDword(store, "SOFTWARE\\Corvale\\QUILLON", "x", value), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir.file("cfg")));

    ASSERT_EQ(setDword(store, "SOFTWARE\\Corvale\\QUILLON", "Start With Windows", 1),
              ERROR_SUCCESS);
    EXPECT_EQ(readText(store.FilePath()), "Windows Registry Editor Version 5.00\n\n"
                                          "[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n"
                                          "\"Start With Windows\"=dword:00000001\n\n");
    struct stat st {};
    ASSERT_EQ(::stat(store.FilePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(dir.file("cfg/quillon").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A mode the user chose is kept; no temporary file is left behind.
    ::chmod(store.FilePath().c_str(), 0644);
    const auto modeBefore = fs::status(store.FilePath()).permissions();
    ASSERT_EQ(setDword(store, "SOFTWARE\\Corvale\\QUILLON", "Start With Windows", 0),
              ERROR_SUCCESS);
    EXPECT_EQ(fs::status(store.FilePath()).permissions(), modeBefore);
    EXPECT_EQ(filesIn(dir.file("cfg/quillon")),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));

    // Writing what is already stored does not touch the file.
    struct stat before {};
    ::stat(store.FilePath().c_str(), &before);
    ASSERT_EQ(setDword(store, "SOFTWARE\\Corvale\\QUILLON", "Start With Windows", 0),
              ERROR_SUCCESS);
    ASSERT_EQ(::stat(store.FilePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, before.st_ino); // every real write renames a new file into place
}

TEST(RegistryStoreTest, SetsADamagedFileAsideAndStartsEmpty) {
    TempDir dir;
    const std::string path = dir.file("registry.reg");
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\SOFTWARE\\Corvale\\QUILLON]\n"
                                "\"Start With Windows\"=dword:00000001\n"
                                "\"Default Play List\"=\"demo.pla\n";
    writeText(path, damaged);
    RegistryStore store(path);

    testing::internal::CaptureStderr();
    DWORD value = 5;
    EXPECT_EQ(getDword(store, "SOFTWARE\\Corvale\\QUILLON", "Start With Windows", value),
              ERROR_FILE_NOT_FOUND);
    const std::string notice = testing::internal::GetCapturedStderr();
    EXPECT_EQ(value, 5u);

    const auto names = filesIn(dir.path());
    ASSERT_EQ(names.size(), 2u) << testing::PrintToString(names);
    EXPECT_EQ(names[0].rfind("registry.reg.damaged-", 0), 0u) << names[0];
    EXPECT_EQ(names[1], "registry.reg.lock");
    EXPECT_EQ(readText(dir.file(names[0])), damaged);
    EXPECT_NE(notice.find("line 5"), std::string::npos) << notice;
    EXPECT_NE(notice.find(dir.file(names[0])), std::string::npos) << notice;

    // The store goes on empty; a second damaged file gets a name of its own.
    ASSERT_EQ(setDword(store, "SOFTWARE\\Corvale\\QUILLON", "Start With Windows", 1),
              ERROR_SUCCESS);
    writeText(path, "garbage");
    testing::internal::CaptureStderr();
    EXPECT_EQ(setDword(store, "SOFTWARE\\Other", "x", 2), ERROR_SUCCESS);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(filesIn(dir.path()).size(), 4u);
    EXPECT_EQ(getDword(store, "SOFTWARE\\Other", "x", value), ERROR_SUCCESS);
    EXPECT_EQ(value, 2u);
}

TEST(RegistryStoreTest, NeitherReadsNorWritesBeyondItsSizeLimit) {
    TempDir dir;
    const std::string path = dir.file("registry.reg");
    RegistryStore store(path, 4096);
    ASSERT_EQ(setDword(store, "SOFTWARE\\Small", "a", 1), ERROR_SUCCESS);
    const std::string before = readText(path);

    // A write that would make the file too big is refused and leaves the file alone.
    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyEx(store.Root(HKEY_CURRENT_USER), "SOFTWARE\\Small", 0, KEY_ALL_ACCESS, &key),
        ERROR_SUCCESS);
    const std::vector<BYTE> big(3000, 0x41);
    EXPECT_EQ(RegSetValueEx(key, "big", 0, REG_BINARY, big.data(), 3000), ERROR_CANTWRITE);
    RegCloseKey(key);
    EXPECT_EQ(readText(path), before);

    // A file that grew too big by other hands is set aside unread.
    std::string huge = before;
    huge.resize(1 << 20, ';');
    writeText(path, huge);
    testing::internal::CaptureStderr();
    DWORD value = 0;
    EXPECT_EQ(getDword(store, "SOFTWARE\\Small", "a", value), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("larger than 4096 bytes"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(path));
}

TEST(RegistryStoreTest, AFolderInPlaceOfTheFileIsAnErrorNotAnEmptyStore) {
    TempDir dir;
    fs::create_directories(dir.file("registry.reg/inside"));
    RegistryStore store(dir.file("registry.reg"));
    DWORD value = 0;
    EXPECT_EQ(getDword(store, "SOFTWARE", "x", value), ERROR_CANTREAD);
    EXPECT_NE(setDword(store, "SOFTWARE", "x", 1), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(dir.file("registry.reg/inside")));
}

// Every write reads the file afresh under a lock: another process and two threads, each with a
// store of its own as a second copy of the program has, lose none of each other's writes.
TEST(RegistryStoreTest, ProcessesAndThreadsWritingAtOnceKeepEachOthersWrites) {
    TempDir dir;
    const std::string file = dir.file("quillon/registry.reg");
    constexpr DWORD kEach = 40;
    const auto writeAll = [&](const std::string& prefix) {
        RegistryStore store(file);
        bool ok = true;
        for (DWORD n = 0; n < kEach; ++n) {
            const std::string name = prefix + std::to_string(n);
            ok = setDword(store, "SOFTWARE\\Corvale\\QUILLON", name.c_str(), n) == ERROR_SUCCESS &&
                 ok;
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

    RegistryStore store(file);
    for (const std::string prefix : {"Process ", "Fader ", "Setting "}) {
        for (DWORD n = 0; n < kEach; ++n) {
            DWORD value = kEach;
            const std::string name = prefix + std::to_string(n);
            EXPECT_EQ(getDword(store, "SOFTWARE\\Corvale\\QUILLON", name.c_str(), value),
                      ERROR_SUCCESS)
                << name;
            EXPECT_EQ(value, n) << name;
        }
    }
}

} // namespace
