#include "shell/Config.h"
#include "shell/Settings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace quadrantel;
using namespace quadrantel::shell;

namespace {

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { globals() = Globals{}; }
    void writeConfig(const std::string& body)
    {
        SetupDataFolder(dir.path());
        test::WriteFile(globals().sDataFolder + "/Config.ini", "[Setup]\r\n" + body);
        ReadConfig();
    }
    test::TempDir dir;
};

} // namespace

// Guards against a root that is not valid UTF-8 being created under another name (decoded on
// one path, used as bytes on the other), so that nothing is ever saved.
TEST_F(ConfigTest, DataFolderIsCreatedBelowTheRootByteForByte)
{
    for (const std::string& root : {dir.path() + "/", dir.path() + "/J\xfcrgen"}) {
        SetupDataFolder(root);
        const std::string folder = (root.back() == '/' ? root : root + "/") + "Quadrantel";
        EXPECT_EQ(globals().sDataFolder, folder);
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << root;
        SetupDataFolder(root); // existing already: no error
        ReadConfig();
        WriteIniValue(globals().sConfigFile, kSetup, "VID", "42");
        EXPECT_EQ(ReadIniValue(folder + "/Config.ini", "VID", "", kSetup), "42") << root;
    }
}

TEST_F(ConfigTest, AppDataVariableComesFirst)
{
    ::setenv("AppData", dir.path().c_str(), 1);
    EXPECT_EQ(ChooseDataRoot(), dir.path());
    ::unsetenv("AppData");
    EXPECT_NE(ChooseDataRoot(), "");
}

TEST_F(ConfigTest, DefaultsWithoutAFile)
{
    SetupDataFolder(dir.path());
    EXPECT_EQ(ReadConfig(), 0.0);
    EXPECT_EQ(globals().sConfigFile, dir.path() + "/Quadrantel/Config.ini");
    EXPECT_EQ(globals().sServerName, "Quadrantel");
    EXPECT_FALSE(globals().bDebug);
    const auto& f = globals().sConfigFile;
    EXPECT_EQ(ReadIniValue(f, "Address", "127.0.0.1", "Setup"), "127.0.0.1");
    EXPECT_EQ(ReadIniValue(f, "Port", "6809", "Setup"), "6809");
    EXPECT_EQ(ReadIniValue(f, "VID", "", "Setup"), "");
}

TEST_F(ConfigTest, AutostartAndDebugValues)
{
    const auto autostartOf = [&](const std::string& v) {
        writeConfig("AutoStart=" + v + "\r\n");
        return IsAutostart(ReadConfig());
    };
    EXPECT_TRUE(autostartOf("1"));
    EXPECT_TRUE(autostartOf("1abc"));
    EXPECT_FALSE(autostartOf("2"));
    EXPECT_FALSE(autostartOf("yes"));
    EXPECT_FALSE(autostartOf("1.5"));

    writeConfig("Debug=0.5\r\nServerName=Other\r\n");
    ReadConfig();
    EXPECT_TRUE(globals().bDebug);
    EXPECT_EQ(globals().sServerName, "Other");
    writeConfig("Debug=abc\r\n");
    ReadConfig();
    EXPECT_FALSE(globals().bDebug);
}

TEST_F(ConfigTest, EmptyValueBeatsTheDefault)
{
    writeConfig("Address=\r\nPort=   \r\nVID=12345   \r\n");
    const auto& f = globals().sConfigFile;
    EXPECT_EQ(ReadIniValue(f, "Address", "127.0.0.1", "Setup"), "");
    EXPECT_EQ(ReadIniValue(f, "Port", "6809", "Setup"), "");
    EXPECT_EQ(ReadIniValue(f, "VID", "", "Setup"), "12345");
    WriteIniValue(f, "Setup", "LastX", "000000001440");
    EXPECT_EQ(ReadIniValue(f, "lastx", "0", "setup"), "000000001440");
}

TEST(TrimAtNull, CutsAtTheFirstNul)
{
    EXPECT_EQ(TrimAtNull(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(TrimAtNull("abc"), "abc");
}
