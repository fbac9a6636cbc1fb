#include "platform/classlib/CFile.h"

#include "platform/classlib/CException.h"
#include "tests/platform/registry/TextFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

using Names = std::vector<std::string>;

TEST(CFileTest, MissingFilesAndFoldersRaiseNamingTheFile) {
    TempDir dir;
    try {
        CFile file(dir.file("absent.pla"), CFile::modeRead);
        FAIL() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
        EXPECT_NE(e.GetErrorMessage().find("absent.pla"), std::string::npos);
    }
    CFileException error(CFileException::none, 0, "");
    CFile file;
    EXPECT_FALSE(file.Open(dir.path(), CFile::modeRead, &error)) << "a folder is not a file";
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_THROW(CFile(dir.file("no/such/folder/x.pla"), CFile::modeCreate | CFile::modeWrite),
                 CFileException);
}

// A save replaces the old file only when it closes whole: not while it writes, not when it is
// abandoned half-way (destroyed without Close, as when a save throws), not when the disk fills.
TEST(CFileTest, NewContentReplacesTheOldOnlyAtASuccessfulClose) {
    TempDir dir;
    const std::string path = dir.file("list.pla");
    WriteFileBytes(path, HexBytes("01 02 03"));
    {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        file.Write("abcd", 4);
    }
    EXPECT_EQ(ReadFileBytes(path), HexBytes("01 02 03"));
    EXPECT_EQ(filesIn(dir.path()), Names{"list.pla"}) << "no temporary file left behind";

    // Writes beyond 16 bytes fail, as on a full disk (for root too).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string message;
    try {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        const std::string big(100, 'z');
        file.Write(big.data(), static_cast<unsigned>(big.size()));
        file.Close();
    } catch (const CFileException& e) {
        message = e.GetErrorMessage();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_NE(message.find("list.pla"), std::string::npos) << "raised, naming the file";
    EXPECT_EQ(ReadFileBytes(path), HexBytes("01 02 03"));
    EXPECT_EQ(filesIn(dir.path()), Names{"list.pla"});

    {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        file.Write("abcd", 4);
        EXPECT_EQ(ReadFileBytes(path), HexBytes("01 02 03")) << "old file untouched while writing";
        file.Close();
    }
    EXPECT_EQ(ReadFileBytes(path), HexBytes("61 62 63 64"));
    EXPECT_EQ(filesIn(dir.path()), Names{"list.pla"});
}

} // namespace
