#include "stations/PositionFiles.h"

#include "shell/Settings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quadrantel::stations;
using namespace quadrantel::shell;
using namespace quadrantel::test;
namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(PositionFiles, NamesAndPaths)
{
    for (const auto& [path, folder] : {std::pair{"/home/u/Quadrantel/Config.ini", "/home/u/Quadrantel"},
                                       {"C:\\Data\\Config.ini", "C:\\Data"},
                                       {"Config.ini", ""}})
        EXPECT_EQ(StripFileName(path), folder);
    EXPECT_TRUE(IsValidPositionName("Kjfk09"));
    for (const char* n : {"", "K JFK", "K-JFK", "Caf\xe9", "a/b", "a.b"})
        EXPECT_FALSE(IsValidPositionName(n)) << n;
}

// Guards against Ids that differ only in case making two files or rewriting the first one's
// case (the saved station no longer matched), and against a name too long
// for a file name being accepted and not stored.
TEST(PositionFiles, AddingWritesOneFilePerCaseBlindIdAndListsIt)
{
    TempDir dir;
    const auto id = AddPosition(dir.path(), "KJFK", "N040.38.23.000", "W073.46.44.000");
    ASSERT_EQ(id, "KJFK N040.38.23.000 W073.46.44.000");
    EXPECT_EQ(ReadIniValue(dir.file("gonio_KJFK_N040.38.23.000_W073.46.44.000.position"), "Id", "", "Setup"), *id);
    EXPECT_EQ(AddPosition(dir.path(), "kjfk", "N040.38.23.000", "W073.46.44.000"), id); // the first case stays
    const auto list = FillPositionList(dir.path());
    EXPECT_EQ(list, std::vector<std::string>{*id});
    EXPECT_EQ(FindPosition(list, "KJFK n040.38.23.000 W073.46.44.000"), 0);
    EXPECT_EQ(FindPosition(list, "nothing"), -1);
    EXPECT_TRUE(AddPosition(dir.path(), std::string(kMaxPositionName, 'A'), "N001.00.00.000", "E001.00.00.000"));
    // Bad name, coordinates or folder write nothing.
    EXPECT_FALSE(AddPosition(dir.path(), std::string(kMaxPositionName + 1, 'B'), "N001.00.00.000", "E001.00.00.000"));
    EXPECT_FALSE(AddPosition(dir.path(), "../x", "N040.38.23.000", "W073.46.44.000"));
    EXPECT_FALSE(AddPosition(dir.path(), "A", "N040.38.23.000", "N073.46.44.000"));
    EXPECT_FALSE(AddPosition(dir.path(), "A", "40.5", "W073.46.44.000"));
    EXPECT_FALSE(AddPosition("", "A", "N040.38.23.000", "W073.46.44.000"));
    EXPECT_EQ(FillPositionList(dir.path()).size(), 2u);
}

TEST(PositionFiles, ListingSkipsFilesWithoutAnId)
{
    TempDir dir;
    WriteIniValue(dir.file("gonio_A.position"), "Setup", "Id", "A N001.00.00.000 E001.00.00.000");
    WriteIniValue(dir.file("gonio_B.position"), "Setup", "Id", "");
    WriteIniValue(dir.file("gonio_E.positions"), "Setup", "Id", "E");
    WriteIniValue(dir.file("xgonio_F.position"), "Setup", "Id", "F");
    fs::create_directory(dir.file("gonio_G.position"));
    EXPECT_EQ(FillPositionList(dir.path()), std::vector<std::string>{"A N001.00.00.000 E001.00.00.000"});
    EXPECT_TRUE(FillPositionList(dir.file("missing")).empty());
}

// Guards against deleting files outside the data folder through text typed into the box.
TEST(PositionFiles, RemovingDeletesOnlyAPositionFileOfTheFolder)
{
    TempDir outer;
    const std::string data = outer.file("data"), config = outer.file("data/Config.ini");
    fs::create_directory(data);
    WriteIniValue(config, "Setup", "Station", "A N001.00.00.000 E001.00.00.000");
    ASSERT_TRUE(AddPosition(data, "A", "N001.00.00.000", "E001.00.00.000"));
    EXPECT_EQ(RemovePosition(data, config, ""), RemoveOutcome::NoText);
    EXPECT_EQ(ReadIniValue(config, "Station", "x", "Setup"), ""); // cleared even without a text
    EXPECT_EQ(RemovePosition(data, config, "a N001.00.00.000 E001.00.00.000"), RemoveOutcome::Deleted);
    EXPECT_EQ(RemovePosition(data, config, "A N001.00.00.000 E001.00.00.000"), RemoveOutcome::NotFound);

    const std::string victim = outer.file("gonio_x.position");
    WriteFile(victim, "keep");
    WriteFile(outer.file("secret"), "keep");
    for (const std::string& t : std::initializer_list<std::string>{"../x", "..\\x", "a\\b", "a/../../x", "/etc/passwd",
                                                                   "..", "x\n", "x\0/../secret"s})
        EXPECT_EQ(RemovePosition(data, "", t), RemoveOutcome::Refused) << t;
    EXPECT_EQ(RemovePosition("", "", "x"), RemoveOutcome::Refused);
    // A link or folder with a position-file name is not deleted, nor what it points to.
    fs::create_symlink(victim, data + "/gonio_link.position");
    fs::create_directory(data + "/gonio_dir.position");
    for (const char* t : {"link", "dir"})
        EXPECT_EQ(RemovePosition(data, "", t), RemoveOutcome::NotFound) << t;
    EXPECT_EQ(ReadFile(victim) + ReadFile(outer.file("secret")), "keepkeep");
    EXPECT_TRUE(fs::exists(data + "/gonio_dir.position"));
}
