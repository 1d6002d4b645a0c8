#include "shell/LogFiles.h"
#include "shell/Config.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cstdio>

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

TEST_F(LogFilesTest, LinesGoToTheFileOfTheirLocalDate)
{
    WriteLog("before midnight");
    Log("@N:DLH123:1");
    clock.advance(1);
    WriteLog("after midnight");
    WriteLog("");
    Log("");
    EXPECT_EQ(ReadFile(dir.file("Log_20240131.TXT")), "23:59:59 before midnight\r\n");
    EXPECT_EQ(ReadFile(dir.file("Log_20240201.TXT")), "00:00:00 after midnight\r\n00:00:00 \r\n");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240131.TXT")), "@N:DLH123:1\r\n");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240201.TXT")), "\r\n");
}

TEST_F(LogFilesTest, ClockSetBackChangesFileToo)
{
    Log("a");
    clock.advance(-2 * 86400);
    Log("b");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240131.TXT")), "a\r\n");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240129.TXT")), "b\r\n");
}

TEST_F(LogFilesTest, TextIsWrittenUnchanged)
{
    const std::string bytes("a\xb0\x01\0z", 5);
    Log(bytes);
    WriteLog("two\r\nlines");
    DumpBlock("x\r\ny\r\n");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240131.TXT")), bytes + "\r\nx\r\ny\r\n");
    EXPECT_EQ(ReadFile(dir.file("Log_20240131.TXT")), "23:59:59 two\r\nlines\r\n");
}

TEST_F(LogFilesTest, RemovedFileIsOpenedAgain)
{
    Log("one");
    ASSERT_EQ(std::remove(dir.file("Dump_20240131.TXT").c_str()), 0);
    Log("two");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240131.TXT")), "two\r\n");
}

TEST_F(LogFilesTest, MissingFolderCreatesNothing)
{
    globals().sDataFolder = dir.path() + "/gone";
    WriteLog("lost");
    Log("lost");
    DumpBlock("lost\r\n");
    EXPECT_FALSE(QDir(QString::fromStdString(dir.path() + "/gone")).exists());
    globals().sDataFolder = "";
    Log("lost"); // no folder at all: nothing written anywhere, no error
    globals().sDataFolder = dir.path();
    Log("back");
    EXPECT_EQ(ReadFile(dir.file("Dump_20240131.TXT")), "back\r\n");
}
