#include "platform/registry/RegistryStore.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& path, const std::string& text) {
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

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
    const auto written = fs::last_write_time(store.FilePath());
    struct stat before {};
    ::stat(store.FilePath().c_str(), &before);
    ASSERT_EQ(setDword(store, "SOFTWARE\\Corvale\\QUILLON", "Start With Windows", 0),
              ERROR_SUCCESS);
    struct stat after {};
    ::stat(store.FilePath().c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(fs::last_write_time(store.FilePath()), written);
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

} // namespace
