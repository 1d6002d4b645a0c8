#include "stations/CfgForm.h"
#include "shell/Config.h"
#include "shell/Settings.h"
#include "stations/PositionFiles.h"
#include "stations/PositionForm.h"
#include "support/CommaLocale.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quadrantel;
using stations::CfgForm;

namespace {

constexpr const char* kKjfkFile = "gonio_KJFK_N040.38.23.000_W073.46.44.000.position";
constexpr const char* kKjfkId = "KJFK N040.38.23.000 W073.46.44.000";

class CfgFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell::globals() = shell::Globals{};
        shell::globals().sDataFolder = dir.path();
    }

    // A form whose hooks record what they were asked; the position window takes typedLat/Long.
    CfgForm& load()
    {
        form = std::make_unique<CfgForm>();
        stations::CfgHooks& h = form->hooks;
        h.unloadWindow = [this] { events.push_back("unload"); };
        h.onEnable = [this] { events.push_back("enable"); };
        h.mainWindowLoaded = [this] { return mainLoaded; };
        h.unloadMainWindow = [this] { events.push_back("unloadMain"); };
        h.showPosition = [this](stations::PositionForm& p) {
            positionCaption = p.lblPosition.caption();
            p.txtLat.setText(typedLat);
            p.txtLong.setText(typedLong);
            p.cmdOk.click();
            if (!p.closed())
                p.cmdCancel.click();
        };
        watchFocus(form->txtStation, "station");
        watchFocus(form->txtVoiceURL, "url");
        watchFocus(form->cboVoiceFrequencies, "frequencies");
        watchFocus(form->txtFeedURL, "feed");
        form->Form_Load();
        return *form;
    }
    CfgForm& loadWithKjfkChosen()
    {
        addKjfk();
        load().txtStation.setListIndex(0);
        return *form;
    }
    // The box's name goes to focused whenever it takes the focus.
    void watchFocus(platform::Control& box, const std::string& name)
    {
        box.focusHandler = [this, name] {
            focused.push_back(name);
            return true;
        };
    }

    bool exists(const std::string& name) { return std::filesystem::exists(dir.file(name)); }
    void addKjfk() { ASSERT_TRUE(stations::AddPosition(dir.path(), "KJFK", "N040.38.23.000", "W073.46.44.000")); }

    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    std::string config = dir.file("Config.ini");
    std::unique_ptr<CfgForm> form;
    std::string positionCaption;
    std::vector<std::string> events;
    std::vector<std::string> focused;
    bool mainLoaded = false;
    std::string typedLat = "N040.38.23.000", typedLong = "W073.46.44.000";
};

TEST_F(CfgFormTest, SaveAndEnableNeedsAChosenStation)
{
    CfgForm& f = load();
    f.cmdEnable.click();
    f.txtStation.setText("typed by hand");
    f.cmdEnable.click();
    EXPECT_EQ(focused, (std::vector<std::string>{"station", "station"}));
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(exists("Config.ini"));
}

TEST_F(CfgFormTest, SavedSettingsAreReadBack)
{
    CfgForm& f = loadWithKjfkChosen();
    f.chkOnTop.setValue(0);
    f.chkAutostart.setValue(1);
    f.txtMe.setText("999");
    f.txtPort.setText("7000");
    f.cmdEnable.click();
    EXPECT_EQ(test::ReadFile(config), "[Setup]\r\nOnTop=0\r\nAutoStart=1\r\nVID=999\r\nAddress=127.0.0.1\r\n"
                                      "Port=7000\r\nStation=KJFK N040.38.23.000 W073.46.44.000\r\n");
    CfgForm& h = load();
    EXPECT_FALSE(h.chkOnTop.checked());
    EXPECT_TRUE(h.chkAutostart.checked());
    EXPECT_EQ(h.txtMe.text(), "999");
    EXPECT_EQ(h.txtPort.text(), "7000");
}

// Bytes this process has read so far, from any file.
long long BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long count = 0;
    while (io >> key >> count && key != "rchar:") {
    }
    return count;
}

// Guards against reading the settings file whole for each value: a large Config.ini held the
// window for seconds per value.
TEST_F(CfgFormTest, LoadingReadsTheSettingsFileOnce)
{
    test::WriteFile(config, "[Setup]\r\nVID=1\r\n;" + std::string(1 << 20, 'x') + "\r\n");
    const long long before = BytesRead();
    load();
    const long long read = BytesRead() - before;
    EXPECT_LT(read, 2 << 20);
}

// A check value that is not 0 or 1 leaves the box as it was.
TEST_F(CfgFormTest, ASavedStationWithoutItsFileIsShownButNotChosen)
{
    addKjfk();
    test::WriteFile(config, "[Setup]\r\nOnTop=7\r\nStation=EDDF N050.02.00.000 E008.34.14.000\r\n");
    CfgForm& f = load();
    EXPECT_EQ(f.chkOnTop.value(), 0);
    EXPECT_EQ(f.txtStation.text(), "EDDF N050.02.00.000 E008.34.14.000");
    EXPECT_EQ(f.txtStation.listIndex(), -1);
}

// Guards against a failed save passing for a successful one.
TEST_F(CfgFormTest, AFailedSaveIsReported)
{
    CfgForm& f = loadWithKjfkChosen();
    std::filesystem::create_directory(config);
    f.cmdEnable.click();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].text, "The settings could not be saved to:\r\n" + config);
}

// Guards against the saved station compared exactly: in another case than its file's Id the
// box did not select it, and "Save and Enable" only moved the focus.
TEST_F(CfgFormTest, TheSavedStationMatchesItsIdInAnyCase)
{
    addKjfk();
    test::WriteFile(config, "[Setup]\r\nStation=kjfk n040.38.23.000 w073.46.44.000\r\n");
    CfgForm& f = load();
    ASSERT_EQ(f.txtStation.items(), std::vector<std::string>{kKjfkId});
    f.cmdEnable.click();
    EXPECT_EQ(events, (std::vector<std::string>{"unload", "enable"}));
    EXPECT_EQ(shell::ReadIniValue(config, "Station", "", "Setup"), kKjfkId);
}

TEST_F(CfgFormTest, LoadingUnloadsAnOpenMainWindow)
{
    mainLoaded = true;
    load();
    EXPECT_EQ(events, std::vector<std::string>{"unloadMain"});
}

// Guards against a name too long for its file name being accepted and silently not stored.
TEST_F(CfgFormTest, ANameThatCannotBeAStationsIsAskedAgainWithWhy)
{
    CfgForm& f = load();
    dialogs.inputAnswers = {"KJ FK", "Zürich", std::string(211, 'A'), ""};
    f.cmdAdd.click();
    const std::vector<const char*> hints = {CfgForm::kHint, CfgForm::kInvalidHint, CfgForm::kInvalidHint,
                                            CfgForm::kLongHint};
    ASSERT_EQ(dialogs.asked.size(), hints.size());
    for (std::size_t i = 0; i < hints.size(); ++i)
        EXPECT_EQ(dialogs.asked[i].text, std::string("Position Name:\r\n\n") + hints[i]) << i;
    EXPECT_EQ(positionCaption, ""); // the position window never opened
}

TEST_F(CfgFormTest, AddingAStationWritesItsFileAndChoosesIt)
{
    CfgForm& f = load();
    dialogs.inputAnswers = {"  KJFK ", " KJFK"}; // blanks around a name are no reason to ask again
    f.cmdAdd.click();
    EXPECT_EQ(positionCaption, "KJFK position");
    EXPECT_EQ(f.txtStation.text(), kKjfkId);
    EXPECT_EQ(f.txtStation.listIndex(), 0);
    f.cmdAdd.click(); // the same name and place again updates the file
    EXPECT_EQ(f.txtStation.listCount(), 1);
}

// Guards against a position that could not be stored passing silently.
TEST_F(CfgFormTest, APositionThatCannotBeStoredIsReported)
{
    CfgForm& f = load();
    std::filesystem::create_directory(dir.file("gonio_EDDF_N040.38.23.000_W073.46.44.000.position"));
    dialogs.inputAnswers = {"EDDF"};
    f.cmdAdd.click();
    EXPECT_EQ(dialogs.asked.back().text, "The position could not be saved in:\r\n" + dir.path());
}

TEST_F(CfgFormTest, ACancelledPositionWindowWritesNothing)
{
    CfgForm& f = load();
    typedLong = "";
    dialogs.inputAnswers = {"LIRF"};
    f.cmdAdd.click();
    EXPECT_EQ(positionCaption, "LIRF position");
    EXPECT_EQ(dialogs.asked.size(), 1u); // the name only, no failure to report
    EXPECT_EQ(f.txtStation.listCount(), 0);
}

TEST_F(CfgFormTest, RemovingDeletesTheChosenStationsFile)
{
    CfgForm& f = loadWithKjfkChosen();
    f.cmdRemove.click();
    EXPECT_FALSE(exists(kKjfkFile));
    EXPECT_EQ(f.txtStation.listCount(), 0);
}

// Guards against a decimal-comma desktop saving "1.5" as "1,5".
TEST_F(CfgFormTest, NumberBoxesShowTheNumberReadWithAPoint)
{
    CfgForm& f = load();
    const test::CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "scripts/install-deps generates de_DE.UTF-8";
    for (const auto& [typed, shown] :
         {std::pair{"12ab", "12"}, {"0123", "123"}, {"+12", "12"}, {"1 2\t3", "123"}, {"", "0"}, {"1.5", "1.5"}}) {
        SCOPED_TRACE(typed);
        f.txtMe.setText(typed);
        f.txtPort.setText(typed);
        f.txtMe_LostFocus();
        f.txtPort_LostFocus();
        EXPECT_EQ(f.txtMe.text(), shown);
        EXPECT_EQ(f.txtPort.text(), shown);
    }
}

// Each bad voice box refuses the save, says why and takes the focus.
TEST_F(CfgFormTest, ABadVoiceBoxRefusesTheSaveAndTakesTheFocus)
{
    CfgForm& f = loadWithKjfkChosen();
    f.cboVoice.setListIndex(1);
    f.cboVoiceFrequencies.setText("118,700"); // a decimal comma, not two frequencies
    f.cmdEnable.click();
    f.txtVoiceURL.setText("http://127.0.0.1:49080/ws");
    f.cmdEnable.click();
    EXPECT_EQ(focused, (std::vector<std::string>{"frequencies", "url"}));
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_NE(dialogs.asked[0].text.find("\"118,700\" is no air-band frequency"), std::string::npos);
    EXPECT_FALSE(exists("Config.ini"));
}

TEST_F(CfgFormTest, TheWebSocketVoiceSourceIsSavedAndReadBack)
{
    CfgForm& f = loadWithKjfkChosen();
    f.cboVoice.setListIndex(1);
    f.txtVoiceURL.setText("ws://localhost:5000/ws");
    f.cboVoiceFrequencies.setListIndex(0); // offered: the client's transmit frequencies
    f.cmdEnable.click();
    EXPECT_EQ(shell::ReadIniValue(config, "VoiceFrequencies", "", "Setup"), "TX");
    CfgForm& g = load();
    EXPECT_EQ(g.cboVoice.listIndex(), 1);
    EXPECT_EQ(g.txtVoiceURL.text(), "ws://localhost:5000/ws");
}

TEST_F(CfgFormTest, TheLibraryIsSavedWhateverTheVoiceBoxesHold)
{
    CfgForm& f = loadWithKjfkChosen();
    f.txtVoiceURL.setText("nonsense");
    f.cmdEnable.click();
    EXPECT_EQ(shell::ReadIniValue(config, "VoiceSource", "", "Setup"), "TSRemote");
}

TEST_F(CfgFormTest, TheFeedIsSavedOnlyWithAnHttpAddressAndReadBack)
{
    CfgForm& f = loadWithKjfkChosen();
    f.cboPositions.setListIndex(2); // both sources: the feed among them
    f.txtFeedURL.setText("ftp://data.example.net/feed.json");
    f.cmdEnable.click();
    EXPECT_EQ(focused, std::vector<std::string>{"feed"});
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_FALSE(exists("Config.ini"));

    f.txtFeedURL.setText("https://data.example.net/feed.json");
    f.cmdEnable.click();
    EXPECT_EQ(shell::ReadIniValue(config, "PositionSource", "", "Setup"), "Both");
    CfgForm& g = load();
    EXPECT_EQ(g.cboPositions.text(), "Both");
    EXPECT_EQ(g.txtFeedURL.text(), "https://data.example.net/feed.json");
    g.cboPositions.setListIndex(1);
    g.cmdEnable.click();
    EXPECT_EQ(shell::ReadIniValue(config, "PositionSource", "", "Setup"), "Feed");
}

} // namespace
