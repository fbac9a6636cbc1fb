#include "ui/PlayListFiles.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
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

/// The listing as a user who is not the superuser sees it: the superuser reads every file,
/// so when the test runs as root the listing is made in a child that has given that up.
std::vector<std::string> listAsOrdinaryUser(const std::string& folder) {
    if (::geteuid() != 0) {
        return ListPlayListFiles(folder, "*.pla");
    }
    int channel[2];
    if (::pipe(channel) != 0) {
        return {"pipe failed"};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const uid_t nobody = 65534;
        std::string names;
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
            names = "could not drop the superuser's rights\n";
        } else {
            for (const std::string& name : ListPlayListFiles(folder, "*.pla")) {
                names += name + "\n";
            }
        }
        const ssize_t written = ::write(channel[1], names.data(), names.size());
        ::_exit(written == static_cast<ssize_t>(names.size()) ? 0 : 1);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::vector<std::string> names;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        names.push_back(text.substr(start, end - start));
    }
    return names;
}

TEST(PlayListFilesTest, LeavesOutFilesThisUserCannotRead) {
    TempDir dir;
    touch(dir.file("open.pla"));
    touch(dir.file("locked.pla"));
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::permissions(dir.file("open.pla"), fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir.file("locked.pla"), fs::perms::none);
    EXPECT_EQ(listAsOrdinaryUser(dir.path()), (std::vector<std::string>{"open.pla"}));
}

} // namespace
