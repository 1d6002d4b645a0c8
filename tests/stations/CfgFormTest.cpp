#include "stations/CfgForm.h"
#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/Settings.h"
#include "stations/PositionFiles.h"
#include "stations/PositionForm.h"
#include "support/CommaLocale.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

#include <filesystem>

using namespace quadrantel;
using stations::CfgForm;

namespace {

class CfgFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell::globals() = shell::Globals{};
        shell::globals().sDataFolder = dir.path();
        config = dir.file("Config.ini");
        stations::sLatitude.clear();
        stations::sLongitude.clear();
    }

    // A form whose hooks record what they were asked.
    CfgForm& load()
    {
        form = std::make_unique<CfgForm>();
        stations::CfgHooks& h = form->hooks;
        h.setTitle = [this](const std::string& t) { title = t; };
        h.resize = [this](float w, float hgt) { size = {w, hgt}; };
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
        form->txtStation.focusHandler = [this] {
            ++focusCount;
            return true;
        };
        form->Form_Load();
        return *form;
    }

    std::string ini(const std::string& key) { return shell::ReadIniValue(config, key, "<none>", "Setup"); }
    bool exists(const std::string& name) { return std::filesystem::exists(dir.file(name)); }

    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    std::string config;
    std::unique_ptr<CfgForm> form;
    std::string title, positionCaption;
    std::pair<float, float> size{0, 0};
    std::vector<std::string> events;
    bool mainLoaded = false;
    int focusCount = 0;
    std::string typedLat = "N040.38.23.000", typedLong = "W073.46.44.000";
};

constexpr const char* kKjfkFile = "gonio_KJFK_N040.38.23.000_W073.46.44.000.position";
constexpr const char* kKjfkId = "KJFK N040.38.23.000 W073.46.44.000";

TEST_F(CfgFormTest, FirstRunWithoutConfigurationShowsTheDefaults)
{
    CfgForm& f = load();
    EXPECT_EQ(title, "Quadrantel");
    EXPECT_EQ(f.txtAddress.text(), "127.0.0.1");
    EXPECT_EQ(f.txtPort.text(), "6809");
    EXPECT_EQ(f.txtMe.text(), "");
    EXPECT_EQ(f.txtStation.text(), "");
    EXPECT_EQ(f.txtStation.listCount(), 0);
    EXPECT_EQ(f.chkOnTop.value(), 1);
    EXPECT_EQ(f.chkAutostart.value(), 0);
    EXPECT_FLOAT_EQ(size.first, f.frameConfig.rect().width + 130);
    EXPECT_FLOAT_EQ(size.second, f.frameConfig.rect().height + 400);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(exists("Config.ini")); // loading writes nothing
}

TEST_F(CfgFormTest, LoadsTheSettingsAndSelectsTheSavedStation)
{
    ASSERT_TRUE(stations::AddPosition(dir.path(), "KJFK", "N040.38.23.000", "W073.46.44.000"));
    test::WriteFile(config, "[Setup]\r\nOnTop=0\r\nAutostart=1\r\nVID=123456\r\nAddress=10.0.0.2\r\nPort=7000\r\n"
                            "Station=KJFK N040.38.23.000 W073.46.44.000\r\n");
    CfgForm& f = load();
    EXPECT_EQ(f.chkOnTop.value(), 0);
    EXPECT_EQ(f.chkAutostart.value(), 1);
    EXPECT_EQ(f.txtMe.text(), "123456");
    EXPECT_EQ(f.txtAddress.text(), "10.0.0.2");
    EXPECT_EQ(f.txtPort.text(), "7000");
    EXPECT_EQ(f.txtStation.listIndex(), 0);

    // A saved station without its file is shown but not selected; a check value that is
    // not 0 or 1 leaves the box as it was.
    test::WriteFile(config, "[Setup]\r\nOnTop=7\r\nStation=EDDF N050.02.00.000 E008.34.14.000\r\n");
    CfgForm& g = load();
    EXPECT_EQ(g.chkOnTop.value(), 0);
    EXPECT_EQ(g.txtStation.text(), "EDDF N050.02.00.000 E008.34.14.000");
    EXPECT_EQ(g.txtStation.listIndex(), -1);
}

TEST_F(CfgFormTest, LoadingUnloadsAnOpenMainWindowAndLogsItInDebugMode)
{
    mainLoaded = true;
    test::WriteFile(config, "[Setup]\r\nDebug=1\r\n");
    shell::ReadConfig(); // the debug switch is the one read before the window loads
    load();
    EXPECT_EQ(events, std::vector<std::string>{"unloadMain"});
    QDir folder(QString::fromStdString(dir.path()));
    const QStringList logs = folder.entryList({"Log_*.TXT"});
    ASSERT_EQ(logs.size(), 1);
    EXPECT_NE(test::ReadFile(dir.file(logs[0].toStdString())).find(" Unloading Module\r\n"), std::string::npos);

    events.clear();
    mainLoaded = false;
    load();
    EXPECT_TRUE(events.empty());
}

TEST_F(CfgFormTest, AddingAStationWritesItsFileAndSelectsIt)
{
    CfgForm& f = load();
    dialogs.inputAnswers = {"  KJFK "};
    f.cmdAdd.click();
    EXPECT_EQ(positionCaption, "KJFK position");
    ASSERT_TRUE(exists(kKjfkFile));
    EXPECT_EQ(shell::ReadIniValue(dir.file(kKjfkFile), "Id", "", "Setup"), kKjfkId);
    EXPECT_EQ(f.txtStation.text(), kKjfkId);
    EXPECT_EQ(f.txtStation.listIndex(), 0);

    // The same name and place again updates the file; another place is another station.
    dialogs.inputAnswers = {"KJFK", "KJFK"};
    f.cmdAdd.click();
    EXPECT_EQ(f.txtStation.listCount(), 1);
    typedLat = "+40.689060";
    typedLong = "-74.044636";
    f.cmdAdd.click();
    EXPECT_EQ(f.txtStation.listCount(), 2);
    EXPECT_EQ(f.txtStation.text(), "KJFK N040.41.20.616 W074.02.40.690");
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList({"gonio_*.position"}).size(), 2);

    // Guards against a position that could not be stored passing silently.
    std::filesystem::create_directory(dir.file("gonio_EDDF_N040.38.23.000_W073.46.44.000.position"));
    typedLat = "N040.38.23.000";
    typedLong = "W073.46.44.000";
    dialogs.inputAnswers = {"EDDF"};
    f.cmdAdd.click();
    EXPECT_EQ(dialogs.asked.back().text, "The position could not be saved in:\r\n" + dir.path());
}

TEST_F(CfgFormTest, RefusedNamesAskAgainWithTheHint)
{
    CfgForm& f = load();
    // Guards against a name too long for its file name being accepted and silently not stored.
    dialogs.inputAnswers = {"KJ FK", "K-1", "Zürich", std::string(211, 'A'), ""};
    f.cmdAdd.click();
    ASSERT_EQ(dialogs.asked.size(), 5u);
    EXPECT_EQ(dialogs.asked[0].title, "New GONIO position");
    EXPECT_EQ(dialogs.asked[0].text, "Position Name:\r\n\nuse alphabet characters and digits only ");
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(dialogs.asked[i].text,
                  "Position Name:\r\n\ninvalid character - use alphabet characters and digits only ");
    EXPECT_EQ(dialogs.asked[4].text, std::string("Position Name:\r\n\n") + CfgForm::kLongHint);
    EXPECT_EQ(positionCaption, ""); // the position window never opened
    EXPECT_EQ(f.txtStation.listCount(), 0);
}

TEST_F(CfgFormTest, ACancelledPositionWritesNothing)
{
    CfgForm& f = load();
    typedLong = ""; // OK stays open with the longitude missing; the script then cancels
    dialogs.inputAnswers = {"EDDF"};
    f.cmdAdd.click();
    EXPECT_EQ(positionCaption, "EDDF position");
    EXPECT_FALSE(stations::sLatitude.empty());
    EXPECT_TRUE(QDir(QString::fromStdString(dir.path())).entryList({"gonio_*.position"}).isEmpty());
}

TEST_F(CfgFormTest, RemovingDeletesOnlyTheNamedStationAndAlwaysClearsTheSavedOne)
{
    ASSERT_TRUE(stations::AddPosition(dir.path(), "KJFK", "N040.38.23.000", "W073.46.44.000"));
    shell::WriteIniValue(config, "Setup", "Station", kKjfkId);
    CfgForm& f = load();
    f.txtStation.setText("");
    f.cmdRemove.click();
    EXPECT_EQ(ini("Station"), "");
    EXPECT_TRUE(exists(kKjfkFile));
    EXPECT_EQ(f.txtStation.listCount(), 1);

    // Typed text that could reach outside the folder deletes nothing.
    f.txtStation.setText("../Config");
    shell::WriteIniValue(config, "Setup", "VID", "1");
    f.cmdRemove.click();
    EXPECT_TRUE(exists("Config.ini"));

    f.txtStation.setListIndex(0);
    f.cmdRemove.click();
    EXPECT_TRUE(dialogs.asked.empty()); // no confirmation
    EXPECT_FALSE(exists(kKjfkFile));
    EXPECT_EQ(f.txtStation.listCount(), 0);
    EXPECT_EQ(f.txtStation.text(), "");
}

TEST_F(CfgFormTest, SaveAndEnableNeedsASelectedStation)
{
    CfgForm& f = load();
    f.cmdEnable.click();
    f.txtStation.setText("typed by hand");
    f.cmdEnable.click();
    EXPECT_EQ(focusCount, 2);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(exists("Config.ini"));

    ASSERT_TRUE(stations::AddPosition(dir.path(), "KJFK", "N040.38.23.000", "W073.46.44.000"));
    CfgForm& g = load();
    g.txtStation.setListIndex(0);
    g.chkOnTop.setValue(0);
    g.chkAutostart.setValue(1);
    g.txtMe.setText("999");
    g.cmdEnable.click();
    EXPECT_EQ(events, (std::vector<std::string>{"unload", "enable"}));
    EXPECT_EQ(test::ReadFile(config), "[Setup]\r\nOnTop=0\r\nAutoStart=1\r\nVID=999\r\nAddress=127.0.0.1\r\n"
                                      "Port=6809\r\nStation=KJFK N040.38.23.000 W073.46.44.000\r\n");
    EXPECT_TRUE(dialogs.asked.empty());

    // Guards against a failed save passing for a successful one: it is reported.
    std::filesystem::remove(config);
    std::filesystem::create_directory(config);
    g.cmdEnable.click();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].text, "The settings could not be saved to:\r\n" + config);
}

TEST_F(CfgFormTest, VoiceSourceIsSavedOnlyWhenUsableAndReadBack)
{
    ASSERT_TRUE(stations::AddPosition(dir.path(), "KJFK", "N040.38.23.000", "W073.46.44.000"));
    CfgForm& f = load();
    EXPECT_EQ(f.cboVoice.text(), "TSRemote");
    EXPECT_EQ(f.txtVoiceURL.text(), "ws://127.0.0.1:49080/ws");
    f.txtStation.setListIndex(0);
    f.cboVoice.setListIndex(1);
    // Each bad box refuses the save, says why and takes the focus.
    int urlFocus = 0, frequencyFocus = 0;
    f.txtVoiceURL.focusHandler = [&] { return ++urlFocus > 0; };
    f.txtVoiceFrequencies.focusHandler = [&] { return ++frequencyFocus > 0; };
    f.txtVoiceFrequencies.setText("118.700, 12x");
    f.cmdEnable.click();
    f.txtVoiceURL.setText("http://127.0.0.1:49080/ws");
    f.txtVoiceFrequencies.setText("118.700, 121.800");
    f.cmdEnable.click();
    EXPECT_EQ(frequencyFocus, 1);
    EXPECT_EQ(urlFocus, 1);
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_NE(dialogs.asked[0].text.find("12x"), std::string::npos);
    EXPECT_FALSE(exists("Config.ini"));

    f.txtVoiceURL.setText("ws://localhost:5000/ws");
    f.cmdEnable.click();
    EXPECT_EQ(ini("VoiceSource"), "WebSocket");
    EXPECT_EQ(ini("VoiceFrequencies"), "118.700, 121.800");
    CfgForm& g = load();
    EXPECT_EQ(g.cboVoice.listIndex(), 1);
    EXPECT_EQ(g.txtVoiceURL.text(), "ws://localhost:5000/ws");
    // Back to the library: said so in the file, whatever the other boxes hold.
    g.txtStation.setListIndex(0);
    g.cboVoice.setListIndex(0);
    g.txtVoiceURL.setText("nonsense");
    g.cmdEnable.click();
    EXPECT_EQ(ini("VoiceSource"), "TSRemote");
}

TEST_F(CfgFormTest, LostFocusRewritesVidAndPortToTheNumberRead)
{
    CfgForm& f = load();
    // Guards against a decimal-comma desktop saving "1.5" as "1,5".
    const test::CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "scripts/install-deps generates de_DE.UTF-8";
    const std::pair<const char*, const char*> cases[] = {{"12ab", "12"},    {"0123", "123"}, {"abc", "0"},
                                                         {"1 2\t3", "123"}, {"", "0"},       {"1.5", "1.5"}};
    for (const auto& [typed, shown] : cases) {
        f.txtMe.setText(typed);
        f.txtMe_LostFocus();
        EXPECT_EQ(f.txtMe.text(), shown) << typed;
        f.txtPort.setText(typed);
        f.txtPort_LostFocus();
        EXPECT_EQ(f.txtPort.text(), shown) << typed;
    }
    f.txtAddress.setText("not an address");
    EXPECT_EQ(f.txtAddress.text(), "not an address");
}

} // namespace
