#include "ui/PlayListFiles.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void touch(const std::string& path) {
    WriteFileBytes(path, {1, 2, 3});
}

TEST(PlayListFilesTest, ListsPlayListFilesWhateverTheirCaseSortedWithoutRegardToCase) {
    TempDir dir;
    for (const char* name : {"b.pla", "A.pla", "c.PLA", "Zoo.Pla", "a2.pla", "notes.txt", "pla",
                             "x.pla.bak", "\xC3\xA9t\xC3\xA9.pla"}) {
        touch(dir.file(name));
    }
    EXPECT_EQ(ListPlayListFiles(dir.path(), "*.pla"),
              (std::vector<std::string>{"A.pla", "a2.pla", "b.pla", "c.PLA", "Zoo.Pla",
                                        "\xC3\xA9t\xC3\xA9.pla"}));
    EXPECT_TRUE(ListPlayListFiles(dir.file("missing"), "*.pla").empty());
    EXPECT_TRUE(ListPlayListFiles("", "*.pla").empty());
}

TEST(PlayListFilesTest, LeavesOutFoldersHiddenFilesAndDanglingLinks) {
    TempDir dir;
    touch(dir.file("kept.pla"));
    touch(dir.file(".hidden.pla"));
    fs::create_directory(dir.file("folder.pla"));
    fs::create_symlink(dir.file("kept.pla"), dir.file("linked.pla"));
    fs::create_symlink(dir.file("gone.pla"), dir.file("dangling.pla"));
    touch(dir.file("read only.pla"));
    fs::permissions(dir.file("read only.pla"), fs::perms::owner_read);
    EXPECT_EQ(ListPlayListFiles(dir.path(), "*.pla"),
              (std::vector<std::string>{"kept.pla", "linked.pla", "read only.pla"}));
}

TEST(PlayListFilesTest, LeavesOutFilesThisUserCannotRead) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the superuser reads every file";
    }
    TempDir dir;
    touch(dir.file("open.pla"));
    touch(dir.file("locked.pla"));
    fs::permissions(dir.file("locked.pla"), fs::perms::none);
    EXPECT_EQ(ListPlayListFiles(dir.path(), "*.pla"), (std::vector<std::string>{"open.pla"}));
}

} // namespace
