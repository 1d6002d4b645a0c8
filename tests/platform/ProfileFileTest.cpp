#include "platform/ProfileFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace quadrantel;
using namespace quadrantel::platform;
using test::ReadFile;
using test::WriteFile;

namespace {

std::string Get(const std::string& file, const std::string& section, const std::string& key,
                const std::string& def = "DEF", std::size_t size = 255)
{
    std::string buf;
    GetPrivateProfileString(section, key, def, buf, size, file);
    return buf;
}

} // namespace

TEST(ProfileFile, ReadsAwkwardLayouts)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    WriteFile(f, "; comment = not a key\r\n"
                 "stray line before any section\r\n"
                 "[Other]\r\nVID=999\r\n"
                 "  [ setup ]  \r\n"
                 "  vid =  1234567  \r\n"
                 "noequals\r\n"
                 "Empty=\r\n"
                 "Quoted=\"  spaced  \"\r\n"
                 "Half=\"open\r\n"
                 "[SETUP]\r\nPort=1\r\n"
                 "[Setup]\nVID=dup\nLast=lf-only");
    EXPECT_EQ(Get(f, "Setup", "VID"), "1234567");
    EXPECT_EQ(Get(f, "SETUP", "Vid"), "1234567");
    EXPECT_EQ(Get(f, "Other", "VID"), "999");
    EXPECT_EQ(Get(f, "Setup", "Empty"), "");
    EXPECT_EQ(Get(f, "Setup", "Quoted"), "  spaced  ");
    EXPECT_EQ(Get(f, "Setup", "Half"), "\"open");
    EXPECT_EQ(Get(f, "Setup", "noequals"), "DEF");
    EXPECT_EQ(Get(f, "Setup", "comment"), "DEF");
    EXPECT_EQ(Get(f, "Setup", "Port"), "1"); // from the duplicate section
    EXPECT_EQ(Get(f, "Setup", "Last"), "lf-only");
    EXPECT_EQ(Get(f, "Nowhere", "VID"), "DEF");
    EXPECT_EQ(Get(dir.file("missing.ini"), "Setup", "VID", "127.0.0.1"), "127.0.0.1");
}

TEST(ProfileFile, ReadBufferKeeps254Characters)
{
    test::TempDir dir;
    const auto f = dir.file("long.ini");
    WriteFile(f, "[Setup]\r\nKey=" + std::string(300, 'x') + "\r\n");
    std::string buf;
    EXPECT_EQ(GetPrivateProfileString("Setup", "Key", "", buf, 255, f), 254u);
    EXPECT_EQ(buf, std::string(254, 'x'));
}

TEST(ProfileFile, WriteKeepsEveryOtherLineByteForByte)
{
    test::TempDir dir;
    const auto f = dir.file("c.ini");
    const std::string before =
        "; my notes\r\n[Other]\nx = 1\n\n[setup]\r\nvid = 1\r\nUnknown=keep me\r\n\r\n[Tail]\r\nz";
    WriteFile(f, before);
    ASSERT_TRUE(WritePrivateProfileString("Setup", "VID", "42", f));
    EXPECT_EQ(ReadFile(f), "; my notes\r\n[Other]\nx = 1\n\n[setup]\r\nVID=42\r\nUnknown=keep me\r\n\r\n[Tail]\r\nz");
    ASSERT_TRUE(WritePrivateProfileString("Setup", "Port", "6809", f));
    EXPECT_EQ(ReadFile(f),
              "; my notes\r\n[Other]\nx = 1\n\n[setup]\r\nVID=42\r\nUnknown=keep me\r\nPort=6809\r\n\r\n[Tail]\r\nz");
    ASSERT_TRUE(WritePrivateProfileString("New", "k", "v", f));
    EXPECT_TRUE(ReadFile(f).ends_with("[Tail]\r\nz\r\n[New]\r\nk=v\r\n")) << ReadFile(f);
}

TEST(ProfileFile, WriteCreatesFileAndSection)
{
    test::TempDir dir;
    const auto f = dir.file("new.ini");
    ASSERT_TRUE(WritePrivateProfileString("Setup", "Station", "KJFK N040.38.23.000 W073.46.44.000", f));
    EXPECT_EQ(ReadFile(f), "[Setup]\r\nStation=KJFK N040.38.23.000 W073.46.44.000\r\n");
    EXPECT_EQ(Get(f, "setup", "STATION"), "KJFK N040.38.23.000 W073.46.44.000");
    EXPECT_FALSE(WritePrivateProfileString("Setup", "k", "v", dir.file("no/such/folder.ini")));
}

// Guards against a value with a line break forging a second key on the next read.
TEST(ProfileFile, LineBreaksInValuesCannotForgeKeys)
{
    test::TempDir dir;
    const auto f = dir.file("forge.ini");
    ASSERT_TRUE(WritePrivateProfileString("Setup", "VID", "1\r\nAutostart=1\nDebug=1", f));
    EXPECT_EQ(Get(f, "Setup", "Autostart"), "DEF");
    EXPECT_EQ(Get(f, "Setup", "Debug"), "DEF");
    EXPECT_EQ(Get(f, "Setup", "VID"), "1  Autostart=1 Debug=1");
}

TEST(ProfileFile, ReadOnlyFileIsLeftAlone)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores file permissions";
    test::TempDir dir;
    const auto f = dir.file("ro.ini");
    WriteFile(f, "[Setup]\r\nVID=1\r\n");
    ::chmod(f.c_str(), 0444);
    EXPECT_FALSE(WritePrivateProfileString("Setup", "VID", "2", f));
    EXPECT_EQ(Get(f, "Setup", "VID"), "1");
}
