#include "shell/LogFiles.h"
#include "shell/Config.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

using namespace quadrantel;
using namespace quadrantel::shell;
using test::ReadFile;

namespace {

class LogFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CloseLogFiles();
        globals().sDataFolder = dir.path();
        SetLogClock(&clock);
    }
    void TearDown() override
    {
        CloseLogFiles();
        SetLogClock(nullptr);
    }
    test::TempDir dir;
    test::FakeClock clock{QDateTime(QDate(2024, 1, 31), QTime(23, 59, 59))};
};

} // namespace

TEST_F(LogFilesTest, LinesGoUnchangedToTheFileOfTheirLocalDate)
{
    const std::string bytes("a\xb0\x01\0z", 5);
    WriteLog("two\r\nlines");
    Log(bytes);
    DumpBlock("x\r\ny\r\n");
    clock.advance(1);
    WriteLog("");
    Log("");
    clock.advance(qint64{-2} * 86400); // a clock set back changes the file too
    Log("b");
    EXPECT_EQ(ReadFile(dir.file("Log_20240131.TXT")), "23:59:59 two\r\nlines\r\n");
    EXPECT_EQ(ReadFile(dir.file("Log_20240201.TXT")), "00:00:00 \r\n");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240131.TXT")), bytes + "\r\nx\r\ny\r\n");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240201.TXT")), "\r\n");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240130.TXT")), "b\r\n");
}

// Guards against writing on into a file that a rotator renamed or someone removed, and
// against a half-written line staying when the disk fills, gluing the next line onto it (a
// file-size limit fails the write part-way for root as well).
TEST_F(LogFilesTest, WritingRecoversFromAMovedFileAFullDiskAndAMissingFolder)
{
    const auto name = dir.file("Dump_20240131.TXT");
    Log("one");
    ASSERT_EQ(std::rename(name.c_str(), (name + ".1").c_str()), 0);
    test::WriteFile(name, ""); // the rotator's fresh file
    Log("two");
    EXPECT_EQ(ReadFile(name), "two\r\n");
    ASSERT_EQ(std::remove(name.c_str()), 0);
    Log("three");
    EXPECT_EQ(ReadFile(name + ".1"), "one\r\n");
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    PrepareFileWrites(); // else the limit's signal ends the test program
    rlimit small = old;
    small.rlim_cur = 12;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Log("a line too long for the disk");
    ::setrlimit(RLIMIT_FSIZE, &old);

    globals().sDataFolder = dir.path() + "/gone";
    WriteLog("lost");
    Log("lost");
    EXPECT_FALSE(QDir(QString::fromStdString(dir.path() + "/gone")).exists());
    globals().sDataFolder = "";
    Log("lost"); // no folder at all: nothing written anywhere, no error
    globals().sDataFolder = dir.path();
    Log("back");
    EXPECT_EQ(ReadFile(name), "three\r\nback\r\n");
}

// Guards against a FIFO named like the day's file: opening it for writing waited for a
// reader for good, before the first window or at the first data block.
TEST_F(LogFilesTest, AFifoOfTheDaysNameIsLeftAloneAndNamedOnce)
{
    ASSERT_EQ(::mkfifo(dir.file("Log_20240131.TXT").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(dir.file("Dump_20240131.TXT").c_str(), 0644), 0);
    WriteLog("before anybody listens");
    std::vector<std::string> notices;
    SetFileNotice([&](const std::string& text) { notices.push_back(text); });
    WriteLog("again");
    const int reader = ::open(dir.file("Dump_20240131.TXT").c_str(), O_RDONLY | O_NONBLOCK);
    Log("read or not, a FIFO is no file");
    Log("again");
    ::close(reader);
    clock.advance(1);
    Log("next day");
    SetFileNotice(nullptr);
    EXPECT_EQ(notices, (std::vector<std::string>{"Log_20240131.TXT is not a regular file: nothing is written to it",
                                                 "Dump_20240131.TXT is not a regular file: nothing is written to it"}));
    EXPECT_EQ(ReadFile(dir.file("Dump_20240201.TXT")), "next day\r\n");
}

// Guards against a folder of the day's file's name being skipped without a word.
TEST_F(LogFilesTest, AFolderOfTheDaysNameIsLeftAloneAndNamedOnce)
{
    ASSERT_TRUE(QDir(QString::fromStdString(dir.path())).mkdir("Dump_20240131.TXT"));
    std::vector<std::string> notices;
    SetFileNotice([&](const std::string& text) { notices.push_back(text); });
    Log("one");
    Log("two");
    SetFileNotice(nullptr);
    EXPECT_EQ(notices, std::vector<std::string>{"Dump_20240131.TXT is not a regular file: nothing is written to it"});
}

TEST_F(LogFilesTest, NewFilesTakeTheUmasksMode)
{
    const mode_t old = ::umask(002); // a group-shared home
    Log("shared");
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("Dump_20240131.TXT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
}
