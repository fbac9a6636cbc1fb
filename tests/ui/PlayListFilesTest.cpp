#include "ui/PlayListFiles.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(PlayListFilesTest, ListsPlayListFilesWhateverTheirCaseSortedWithoutRegardToCase) {
    TempDir dir;
    for (const char* name :
         {"b.pla", "A.pla", "c.PLA", "Zoo.Pla", "a2.pla", "notes.txt", "pla", "x.pla.bak",
          "\xC3\xA9t\xC3\xA9.pla", ".hidden.pla", "read only.pla"}) {
        WriteFileBytes(dir.file(name), {1, 2, 3});
    }
    // Folders and dangling links are left out; a link to a file is listed.
    fs::create_directory(dir.file("folder.pla"));
    fs::create_symlink(dir.file("b.pla"), dir.file("linked.pla"));
    fs::create_symlink(dir.file("gone.pla"), dir.file("dangling.pla"));
    fs::permissions(dir.file("read only.pla"), fs::perms::owner_read);
    EXPECT_EQ(ListPlayListFiles(dir.path(), "*.pla"),
              (Names{"A.pla", "a2.pla", "b.pla", "c.PLA", "linked.pla", "read only.pla", "Zoo.Pla",
                     "\xC3\xA9t\xC3\xA9.pla"}));
    EXPECT_TRUE(ListPlayListFiles(dir.file("missing"), "*.pla").empty());
    EXPECT_TRUE(ListPlayListFiles("", "*.pla").empty());
}

TEST(PlayListFilesTest, LeavesOutFilesThisUserCannotRead) {
    TempDir dir;
    WriteFileBytes(dir.file("open.pla"), {1});
    WriteFileBytes(dir.file("locked.pla"), {1});
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(dir.file("open.pla"), fs::perms::others_read, fs::perm_options::add);
    fs::permissions(dir.file("locked.pla"), fs::perms::none);
    const auto listsTheOpenOne = [&] {
        return ListPlayListFiles(dir.path(), "*.pla") == Names{"open.pla"};
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(listsTheOpenOne());
        return;
    }
    // The superuser reads every file: the listing is made in a child that gives that up.
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && listsTheOpenOne() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "as user 65534";
}

} // namespace
