#include "platform/ProfileFile.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <vector>

using namespace quadrantel;
using namespace quadrantel::platform;
using namespace quadrantel::test;

namespace {

std::string Get(const std::string& file, const std::string& section, const std::string& key,
                const std::string& def = "DEF")
{
    std::string buf;
    GetPrivateProfileString(section, key, def, buf, 255, file);
    return buf;
}

} // namespace

// Every change of the process's umask, the program's own calls included (this definition
// takes the C library's place in the test program).
static std::atomic<int> g_umaskCalls{0};
extern "C" mode_t umask(mode_t mask) noexcept
{
    ++g_umaskCalls;
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

// A settings file in a folder of its own.
class ProfileFile : public ::testing::Test {
protected:
    test::TempDir dir;
    const std::string f = dir.file("Config.ini");
};

TEST_F(ProfileFile, AwkwardLayoutsAreRead)
{
    WriteFile(f, "[Other]\r\nVID=999\r\n"
                 "  [ setup ]  \r\n"
                 "  vid =  1234567  \r\n"
                 "noequals\r\n"
                 "Empty=\r\n"
                 "Quoted=\"  spaced  \"\r\n"
                 "Half=\"open\r\n"
                 "[SETUP]\r\nPort=1\r\n"
                 "[Setup]\nVID=dup\nLast=lf-only");
    EXPECT_EQ(Get(f, "SETUP", "Vid"), "1234567");
    EXPECT_EQ(Get(f, "Other", "VID"), "999");
    EXPECT_EQ(Get(f, "Setup", "Empty"), "");
    EXPECT_EQ(Get(f, "Setup", "Quoted"), "  spaced  ");
    EXPECT_EQ(Get(f, "Setup", "Half"), "\"open");
    EXPECT_EQ(Get(f, "Setup", "noequals"), "DEF");
    EXPECT_EQ(Get(f, "Setup", "Port"), "1"); // from the duplicate section
    EXPECT_EQ(Get(f, "Setup", "Last"), "lf-only");
    EXPECT_EQ(Get(dir.file("missing.ini"), "Setup", "VID", "127.0.0.1"), "127.0.0.1");
}

TEST_F(ProfileFile, WriteKeepsEveryOtherLineByteForByte)
{
    WriteFile(f, "; my notes\r\n[Other]\nx = 1\n\n[setup]\r\nvid = 1\r\nUnknown=keep me\r\n\r\n[Tail]\r\nz");
    ASSERT_TRUE(WritePrivateProfileString("Setup", "VID", "42", f));
    ASSERT_TRUE(WritePrivateProfileString("Setup", "Port", "6809", f));
    ASSERT_TRUE(WritePrivateProfileString("New", "k", "v", f));
    EXPECT_EQ(ReadFile(f), "; my notes\r\n[Other]\nx = 1\n\n[setup]\r\nVID=42\r\nUnknown=keep me\r\nPort=6809\r\n\r\n"
                           "[Tail]\r\nz\r\n[New]\r\nk=v\r\n");

    const auto g = dir.file("new.ini");
    // A line break in a value would forge a second key on the next read.
    ASSERT_TRUE(WritePrivateProfileString("Setup", "VID", "1\r\nAutostart=1\nDebug=1", g));
    EXPECT_EQ(ReadFile(g), "[Setup]\r\nVID=1  Autostart=1 Debug=1\r\n");
    EXPECT_FALSE(WritePrivateProfileString("Setup", "k", "v", dir.file("no/such/folder.ini")));
    WriteFile(g, "[Setup]\r\nKey=" + std::string(300, 'x') + "\r\n");
    std::string buf;
    EXPECT_EQ(GetPrivateProfileString("Setup", "Key", "", buf, 255, g), 254u);
    EXPECT_EQ(buf, std::string(254, 'x'));
}

// Guards against rewriting a file that could not be read (every other key lost) and
// against writing over a read-only one; runs as an ordinary user so root cannot bypass it.
TEST_F(ProfileFile, UnreadableOrReadOnlyFileIsLeftAlone)
{
    const std::string before = "[Setup]\r\nVID=1\r\nPort=6809\r\n";
    for (const mode_t mode : {0200, 0444}) {
        WriteFile(f, before);
        ::chmod(f.c_str(), mode);
        EXPECT_TRUE(test::AsUnprivileged([&] { return !WritePrivateProfileString("Setup", "Station", "X", f); },
                                         {dir.path(), f}))
            << std::oct << mode;
        ::chmod(f.c_str(), 0644);
        EXPECT_EQ(ReadFile(f), before) << std::oct << mode;
    }
}

// Guards against replacing a linked settings file by a copy (the target never updated
// again) and against hanging on, or overwriting, a FIFO of that name.
TEST_F(ProfileFile, LinksAreWrittenThroughAndSpecialFilesReadAsMissing)
{
    ::mkdir(dir.file("real").c_str(), 0755);
    const auto target = dir.file("real/Config.ini");
    WriteFile(target, "[Setup]\r\nVID=1\r\n");
    const auto link = dir.file("Config.ini");
    ASSERT_EQ(::symlink("real/Config.ini", link.c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileString("Setup", "Port", "6809", link));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(target), "[Setup]\r\nVID=1\r\nPort=6809\r\n");

    const auto fifo = dir.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(Get(fifo, "Setup", "VID"), "DEF");
    EXPECT_FALSE(WritePrivateProfileString("Setup", "VID", "2", fifo));
}

// Guards against a new settings file readable by everyone under umask 077, and against a
// replaced file losing the mode its owner gave it.
TEST_F(ProfileFile, FilesKeepTheModeTheirOwnerSet)
{
    const auto mode = [](const std::string& file) {
        struct stat st {};
        ::stat(file.c_str(), &st);
        return st.st_mode & 07777;
    };
    for (const auto& [umask, created] : std::vector<std::pair<mode_t, mode_t>>{{077, 0600}, {002, 0664}}) {
        SCOPED_TRACE(umask);
        const auto f = dir.file("new" + std::to_string(umask) + ".ini");
        const mode_t old = ::umask(umask);
        const bool written = WritePrivateProfileString("Setup", "VID", "1", f);
        ::umask(old);
        ASSERT_TRUE(written);
        EXPECT_EQ(mode(f), created);
    }
    const auto kept = dir.file("kept.ini");
    WriteFile(kept, "[Setup]\r\n");
    ::chmod(kept.c_str(), 0640);
    ASSERT_TRUE(WritePrivateProfileString("Setup", "VID", "1", kept));
    EXPECT_EQ(mode(kept), 0640u);
}

// Guards against finding a new file's mode by setting the umask: for that instant every file
// any thread created got mode 0666.
TEST_F(ProfileFile, ANewFilesModeIsFoundWithoutChangingTheUmask)
{
    const mode_t old = ::umask(027);
    const int before = g_umaskCalls;
    const bool written = WritePrivateProfileString("Setup", "VID", "1", f);
    const int calls = g_umaskCalls - before;
    ::umask(old);
    ASSERT_TRUE(written);
    EXPECT_EQ(calls, 0);
}

// Guards against reading a settings file whole for every key: a 156 MB file took 36 s to
// start. Within a batch the file is read once; the program's own writes are seen at once.
TEST_F(ProfileFile, ABatchReadsEachFileOnce)
{
    WriteFile(f, "[Setup]\r\nVID=1\r\n[Other]\r\nVID=2\r\n");
    {
        const ProfileReadBatch once;
        EXPECT_EQ(Get(f, "Setup", "VID"), "1");
        WriteFile(f, "[Setup]\r\nVID=changed behind our back\r\n");
        EXPECT_EQ(Get(f, "setup", "vid"), "1");
        EXPECT_EQ(Get(f, "Other", "VID"), "2");
        ASSERT_TRUE(WritePrivateProfileString("Setup", "Port", "6809", f));
        EXPECT_EQ(Get(f, "Setup", "VID"), "changed behind our back");
    }
    WriteFile(f, "[Setup]\r\nVID=3\r\n");
    EXPECT_EQ(Get(f, "Setup", "VID"), "3"); // no batch: read anew
}
