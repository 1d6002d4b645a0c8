#include "shell/Config.h"
#include "shell/Settings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quadrantel;
using namespace quadrantel::shell;

// Guards against a root that is not valid UTF-8 being created under another name (decoded on
// one path, used as bytes on the other), so that nothing is ever saved.
TEST(Config, DataFolderIsCreatedBelowTheRootByteForByte)
{
    test::TempDir dir;
    for (const std::string& root : {dir.path() + "/", dir.path() + "/J\xfcrgen"}) {
        SetupDataFolder(root);
        const std::string folder = (root.back() == '/' ? root : root + "/") + "Quadrantel";
        EXPECT_EQ(globals().sDataFolder, folder);
        SetupDataFolder(root); // existing already: no error
        ReadConfig();
        WriteIniValue(globals().sConfigFile, kSetup, "VID", "42");
        EXPECT_EQ(ReadIniValue(folder + "/Config.ini", "VID", "", kSetup), "42") << root;
    }
    ::setenv("AppData", dir.path().c_str(), 1);
    EXPECT_EQ(ChooseDataRoot(), dir.path());
    ::unsetenv("AppData");
    EXPECT_NE(ChooseDataRoot(), "");
}

TEST(Config, ReadConfigTakesAutostartDebugAndServerName)
{
    test::TempDir dir;
    globals() = Globals{};
    SetupDataFolder(dir.path());
    EXPECT_EQ(ReadConfig(), 0.0);
    EXPECT_EQ(globals().sServerName, "Quadrantel");
    EXPECT_FALSE(globals().bDebug);
    struct Case {
        const char* body;
        bool autostart, debug;
    };
    for (const Case& c : {Case{"AutoStart=1\r\nDebug=0.5\r\n", true, true}, Case{"AutoStart=1abc\r\n", true, false},
                          Case{"AutoStart=2\r\nDebug=abc\r\n", false, false}, Case{"AutoStart=1.5\r\n", false, false},
                          Case{"AutoStart=yes\r\nDebug=1\r\n", false, true}}) {
        test::WriteFile(globals().sDataFolder + "/Config.ini", std::string("[Setup]\r\n") + c.body);
        EXPECT_EQ(IsAutostart(ReadConfig()), c.autostart) << c.body;
        EXPECT_EQ(globals().bDebug, c.debug) << c.body;
    }
    test::WriteFile(globals().sConfigFile, "[Setup]\r\nServerName=Other\r\n");
    ReadConfig();
    EXPECT_EQ(globals().sServerName, "Other");
}

TEST(Settings, EmptyValueBeatsTheDefaultAndTrailingBlanksGo)
{
    test::TempDir dir;
    const std::string f = dir.file("Config.ini");
    test::WriteFile(f, "[Setup]\r\nAddress=\r\nLong=" + std::string(253, 'x') + " y\r\n");
    EXPECT_EQ(ReadIniValue(f, "Long", "", "Setup"), std::string(253, 'x')); // cut at 254, then trimmed
    EXPECT_EQ(ReadIniValue(f, "Address", "127.0.0.1", "Setup"), "");
    EXPECT_EQ(ReadIniValue(f, "Missing", "dflt  ", "Setup"), "dflt");
    EXPECT_EQ(TrimAtNull(std::string("ab\0cd", 5)), "ab");
}
