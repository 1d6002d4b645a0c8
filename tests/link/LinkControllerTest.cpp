#include "link/LinkController.h"
#include "link/LinkData.h"
#include "platform/Winsock.h"
#include "shell/Config.h"
#include "shell/Settings.h"
#include "support/FakeClock.h"
#include "support/FakeLinkSocket.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace quadrantel;
using namespace quadrantel::link;
using platform::Picture;

namespace {

class LinkControllerTest : public ::testing::Test {
protected:
    LinkControllerTest()
        : traffic(clock, clock.now()), data(traffic, clock, [this](std::string_view lines) { dumped += lines; }),
          link({cmdConnect, cmdClose, chkAutoConnect, lblState, imgData, lblRate, shapeRate, lblError, lstStrips,
                tmrStatus},
               sck, data,
               {.checkAutoConnect =
                    [this] {
                        ++autoChecks;
                        onAutoCheck();
                    },
                .updateIcon = [this](const std::string& m) { icon = m; },
                .applyStrips = nullptr, // showing the strips is the main window's part
                .windowLeft = [] { return 1440.0f; },
                .windowTop = [] { return -15.0f; },
                .showSetupWindow = [this] { ++setupShown; },
                .unloadWindow = [this] { ++unloaded; },
                .sleep = [this](int ms) { slept += ms; },
                .pumpingSleep =
                    [this](int ms) {
                        slept += ms;
                        onWait();
                    },
                .doEvents = [this] { onPump(); },
                .closing = [this] { return closing; }})
    {
        shell::globals() = {.sDataFolder = dir.path(), .sConfigFile = dir.file("Config.ini"), .sVID = "123456"};
    }

    void login()
    {
        link.TryToConnect();
        link.UpdateState();
    }
    void arrive(const std::string& text)
    {
        sck.received = text;
        link.Sck_DataArrival("Quadrantel", static_cast<std::int32_t>(text.size()));
    }

    test::TempDir dir;
    test::FakeClock clock;
    platform::Button cmdConnect, cmdClose;
    platform::CheckBox chkAutoConnect;
    platform::Image lblState, imgData;
    platform::Label lblRate, lblError;
    platform::Shape shapeRate;
    platform::ListBox lstStrips;
    platform::Timer tmrStatus{1000};
    test::FakeLinkSocket sck;
    std::string dumped, icon;
    int autoChecks = 0, setupShown = 0, unloaded = 0, slept = 0;
    bool closing = false;
    // What runs while a handler lets the event loop run.
    std::function<void()> onPump = [] {}, onWait = [] {}, onAutoCheck = [] {};
    traffic::TrafficTable traffic;
    LinkData data;
    LinkController link;
};

constexpr const char* kLogin = "#AAQuadrantel:SERVER:Quadrantel:123456:XXXXXXXX:12:B\r\n";
constexpr const char* kIdent = "!CQuadrantel:SERVER:3:407162853:Gonio:1.0.0:52940817\r\n";

} // namespace

TEST_F(LinkControllerTest, AnAcknowledgementBeforeTheLoginDrawsNoIdentification)
{
    arrive("#TMSERVER:Quadrantel:secondary linkar\r\n");
    EXPECT_TRUE(sck.sent.empty());
}

TEST_F(LinkControllerTest, AConnectedLinkShowsDisconnectAndAGreenLight)
{
    const bool connected = link.TryToConnect();
    link.UpdateState();
    EXPECT_TRUE(connected);
    EXPECT_TRUE(cmdClose.visible());
    EXPECT_TRUE(cmdClose.enabled());
    EXPECT_FALSE(cmdConnect.visible());
    EXPECT_FALSE(cmdConnect.enabled());
    EXPECT_EQ(lblState.picture(), Picture::Green);
    // While connected the data light shows the rate, not the state.
    EXPECT_EQ(imgData.picture(), Picture::None);
}

TEST_F(LinkControllerTest, OneLoginThenAnIdentificationForEachAcknowledgement)
{
    login();
    link.UpdateState(); // logged in: no second login
    arrive("#TMSERVER:Quadrantel:xx Secondary Linkar xx\r\n");
    arrive("#TMSERVER:Quadrantel:SECONDARY LINKAR :NO such VID / Password\r\n");
    EXPECT_EQ(sck.sent, (std::vector<std::string>{kLogin, kIdent, kIdent}));
}

TEST_F(LinkControllerTest, AnAcknowledgementThatAlsoHoldsTheRefusalIsOnlyAnAcknowledgement)
{
    login();
    arrive("#TMSERVER:Quadrantel:SECONDARY LINKAR :NO such VID / Password\r\n");
    EXPECT_EQ(unloaded, 0);
}

// Guards against reading a stranger's words as the server's reply: a pilot's flight plan
// remarks closed the window, his route drew out the identification line with its client key.
TEST_F(LinkControllerTest, NoRelayedLineIsAReply)
{
    login();
    const std::vector<std::pair<std::string, std::string>> relayed = {
        {"flight plan remarks", "$FPDLH123:*A:I:B738:420:EDDF:1200:0:350:LOWW:1:0:2:0:EDDM:/RMK/"},
        {"an answer", "$CRDLH123:Quadrantel:RN:"},
        {"a pilot's text message", "#TMDLH123:*:"},
        {"an ATIS line", "$CREDDF_ATIS:Quadrantel:ATIS:T:"},
        {"a pilot's login with his name", "#APDLH123:SERVER:1234567::1:101:1:"},
        {"a controller's position", "%EDDF_TWR:19700:4:100:5:50.03:8.57:"},
        {"a pilot's position", "@N:DLH123:1200:1:50.0:8.5:"},
        {"a sender named like the server", "#TMSERVERX:*:"},
        {"a command that is no two letters", "#T1SERVER:"},
    };
    for (const auto& [name, before] : relayed)
        for (const std::string phrase : {"SECONDARY LINKAR", "x:NO such VID / Password"}) {
            SCOPED_TRACE(::testing::Message() << name << " with " << phrase);
            arrive(before + phrase + "\r\n");
            EXPECT_EQ(sck.sent, std::vector<std::string>{kLogin});
            EXPECT_EQ(unloaded, 0);
        }
}

// Guards against the interface program's own bare words going unread: no identification line,
// and a refused login logged in again and again.
TEST_F(LinkControllerTest, TheInterfaceProgramsBareAcknowledgementIsAReply)
{
    login();
    arrive("SECONDARY LINKAR\r\n");
    EXPECT_EQ(sck.sent, (std::vector<std::string>{kLogin, kIdent}));
}

TEST_F(LinkControllerTest, TheInterfaceProgramsBareRefusalClosesTheWindow)
{
    login();
    arrive("Linkar:NO such VID / Password\r\n");
    EXPECT_EQ(unloaded, 1);
}

TEST_F(LinkControllerTest, TheServersOwnLinesAreRepliesInAnyCase)
{
    login();
    arrive("#TMDLH123:*:hi\r\n#TMserver:Quadrantel:");
    arrive("SECONDARY LINKAR\r\n"); // the rest of the server's line
    EXPECT_EQ(sck.sent, (std::vector<std::string>{kLogin, kIdent}));
}

// Guards against a server's error line going unseen: only "Disconnected" showed, again and again.
TEST_F(LinkControllerTest, ServerErrorBeforeTheCloseIsShownUntilTheNextConnection)
{
    for (const auto& [line, shown] : std::vector<std::pair<std::string, std::string>>{
             {"$ERserver:Quadrantel:006:1:Invalid CID/password\r\n", "Disconnected\r\nInvalid CID/password"},
             {"$ERserver:Quadrantel:006:1:\r\n", "Disconnected\r\nserver:Quadrantel:006:1:"}, // no text: the whole line
             {"$ERDLH123:Quadrantel:006:1:Forged\r\n", "Disconnected"}, // a client's error line is not the server's
         }) {
        SCOPED_TRACE(line);
        link.TryToConnect();
        arrive(line);
        link.Sck_CloseSck("Quadrantel");
        EXPECT_EQ(icon, shown);
    }
    link.TryToConnect(); // a new connection forgets the old error
    link.Sck_CloseSck("Quadrantel");
    EXPECT_EQ(icon, "Disconnected");
}

// Guards against the server's refusal vanishing with AutoConnect ticked: the reconnection
// inside the close forgot the text before it was shown, and every retry blanked the line.
TEST_F(LinkControllerTest, ServerErrorStaysWhileAutoConnectRetries)
{
    chkAutoConnect.setValue(1);
    onAutoCheck = [this] { link.TryToConnect(); };
    login();
    arrive("$ERserver:Quadrantel:006:1:Invalid CID/password\r\n");
    link.Sck_CloseSck("Quadrantel");
    EXPECT_EQ(icon, "Disconnected\r\nInvalid CID/password");
    sck.currentState = sckClosed;
    link.UpdateState();
    EXPECT_EQ(sck.connects, 3);
    EXPECT_EQ(icon, "Disconnected\r\nInvalid CID/password");
    arrive("#TMSERVER:Quadrantel:SECONDARY LINKAR\r\n");
    EXPECT_EQ(icon, "");
}

// Guards against an unusable port failing without a word: "Starting ..." stayed for good.
TEST_F(LinkControllerTest, InvalidPortIsNamed)
{
    for (const std::string port : {"0", "-1", "65536", "abc", "", "80x", "0x1A85", "nan"}) {
        shell::globals().sPort = port;
        EXPECT_FALSE(link.TryToConnect());
        EXPECT_EQ(icon, "Invalid Linkar port \"" + port + "\": use a number from 1 to 65535");
    }
    for (const std::string port : {"1", "65535"}) {
        shell::globals().sPort = port;
        sck.currentState = sckClosed;
        EXPECT_TRUE(link.TryToConnect()) << port;
    }
    EXPECT_EQ(sck.connects, 2);
}

// Three quiet checks in a row without a new block give the message; only the check after a
// transmission turns the data light red; a block starts the count over.
TEST_F(LinkControllerTest, TheThirdQuietCheckWithoutABlockSaysNoNetworkData)
{
    arrive("@N:A:1\r\n");
    for (int check = 0; check < 3; ++check)
        link.NoDataCheck(false);
    EXPECT_EQ(lblError.caption(), "Waiting ... ");
    link.NoDataCheck(false);
    EXPECT_EQ(lblError.caption(), "No Network data - check Linkar/Towrix or restart Gonio !");
    EXPECT_NE(imgData.picture(), Picture::Red);
    link.NoDataCheck(true);
    EXPECT_EQ(imgData.picture(), Picture::Red);
    arrive("@N:A:1\r\n");
    link.NoDataCheck(false);
    EXPECT_EQ(lblError.caption(), "Waiting ... ");
}

// Guards against the last connection's unfinished line glued to the next one's first bytes.
TEST_F(LinkControllerTest, ANewConnectionForgetsTheUnfinishedLineOfTheLast)
{
    arrive("@N:OLD:1");
    login();
    arrive("\r\n");
    EXPECT_FALSE(traffic.Contains("OLD"));
}

TEST_F(LinkControllerTest, RefusalClosesTheWindowAndSavesItsPosition)
{
    login();
    arrive("#ERSERVER:Quadrantel:no such vid / password\r\n"); // another letter case is no refusal
    EXPECT_EQ(unloaded, 0);
    tmrStatus.setEnabled(true);
    arrive("#ERSERVER:Quadrantel:NO such VID / Password\r\n");
    EXPECT_FALSE(tmrStatus.enabled());
    EXPECT_EQ(setupShown, 1);
    EXPECT_EQ(unloaded, 1);
    EXPECT_FALSE(link.bLoggedIn);
    EXPECT_EQ(sck.currentState, sckClosed);
    const auto& f = shell::globals().sConfigFile;
    EXPECT_EQ(shell::ReadIniValue(f, "LastX", "", "Setup"), "000000001440");
    EXPECT_EQ(shell::ReadIniValue(f, "LastY", "", "Setup"), "-000000000015");
}

TEST_F(LinkControllerTest, AnAttemptThatNeverConnectsGivesUpAfterTwoSeconds)
{
    sck.stateAfterConnect = sckConnecting;
    const bool connected = link.TryToConnect();
    EXPECT_FALSE(connected);
    EXPECT_EQ(sck.closes, 1);
    EXPECT_EQ(slept, 2000);
    EXPECT_EQ(icon, "Unable to Connect to Linkar - 127.0.0.1:6809");
}

TEST_F(LinkControllerTest, ConnectWhileConnectingOnlyRefreshes)
{
    sck.currentState = sckConnecting;
    link.cmdConnect_Click();
    EXPECT_EQ(sck.connects, 0);
    EXPECT_EQ(imgData.picture(), Picture::Yellow);
}

TEST_F(LinkControllerTest, ARefusedConnectionAsksWhetherLinkarRuns)
{
    link.Sck_Error("Quadrantel", platform::ws::WSAECONNREFUSED, "Connection refused.");
    EXPECT_EQ(icon, "Connection refused.\r\nLinkar not Started ?");
    EXPECT_EQ(sck.tag, "");
    EXPECT_EQ(lblState.toolTip(), "Disconnected");
}

TEST_F(LinkControllerTest, OtherSocketErrorsShowNothingOfTheirOwn)
{
    link.Sck_Error("Quadrantel", platform::ws::WSAECONNRESET, "Connection reset by peer.");
    EXPECT_EQ(icon, "");
}

// Guards against a handler going on after the window was closed during its wait: the
// attempt waited out its 2 s, a refusal opened the setup window a second time.
TEST_F(LinkControllerTest, HandlersStopWhenTheWindowClosesDuringTheirWait)
{
    onPump = [this] { closing = true; };
    sck.stateAfterConnect = sckConnecting;
    EXPECT_FALSE(link.TryToConnect());
    EXPECT_EQ(slept, 0);
    EXPECT_EQ(icon, "");
    sck.currentState = sckClosed;
    EXPECT_FALSE(link.TryToConnect()); // none starts on a closing window
    EXPECT_EQ(sck.connects, 1);

    link.Sck_Error("Quadrantel", platform::ws::WSAECONNRESET, "Connection reset by peer.");
    EXPECT_EQ(lblState.toolTip(), ""); // no state shown after the wait
    arrive("#ERSERVER:Quadrantel:NO such VID / Password\r\n");
    EXPECT_EQ(setupShown, 0); // the pending unload brings the setup window
    EXPECT_EQ(unloaded, 0);
}

TEST_F(LinkControllerTest, AutoConnectOnlyWhileTheSocketIsClosed)
{
    chkAutoConnect.setValue(1);
    link.UpdateState();
    EXPECT_EQ(autoChecks, 1);
    for (const auto state : {sckConnecting, sckConnected}) {
        sck.currentState = state;
        link.UpdateState();
        EXPECT_EQ(autoChecks, 1);
    }
}

TEST_F(LinkControllerTest, DisconnectStopsAutoConnect)
{
    chkAutoConnect.setValue(1);
    sck.currentState = sckConnected;
    link.cmdClose_Click();
    link.UpdateState();
    EXPECT_EQ(sck.currentState, sckClosed);
    EXPECT_EQ(autoChecks, 0);
}

TEST_F(LinkControllerTest, DataRateLightAndPulse)
{
    arrive(std::string(1238, 'x'));
    EXPECT_EQ(imgData.picture(), Picture::None); // an empty traffic list keeps the picture
    EXPECT_EQ(imgData.toolTip(), "Rate: 1238");
    lstStrips.addItem("DLH123");
    arrive(std::string(1238, 'x'));
    EXPECT_EQ(imgData.picture(), Picture::Yellow);
    arrive("12345");
    EXPECT_EQ(lblRate.caption(), "0005");
    EXPECT_EQ(imgData.picture(), Picture::Blue);
    arrive(std::string(40, 'y'));
    EXPECT_EQ(imgData.picture(), Picture::Green);

    // Four arrivals so far at +8; 28 more reach 255, 32 more fall back to 0.
    for (int i = 0; i < 28; ++i)
        arrive("a");
    EXPECT_EQ(link.iStep, -8);
    EXPECT_EQ(shapeRate.backColor(), platform::RGB(0, 255, 255));
    for (int i = 0; i < 32; ++i)
        arrive("a");
    EXPECT_EQ(link.iLevel, 0);
    EXPECT_EQ(link.iStep, 8);
}

// Guards against nested connection attempts piling up while the peer keeps refusing.
TEST_F(LinkControllerTest, AttemptStartedInsideAnAttemptsWaitReturnsAtOnce)
{
    sck.stateAfterConnect = sckConnecting;
    chkAutoConnect.setValue(1);
    onAutoCheck = [this] { EXPECT_FALSE(link.TryToConnect()); };
    // During the wait an error closes the socket and a timer tick runs.
    onWait = [this] {
        sck.currentState = sckClosed;
        link.UpdateState();
    };
    EXPECT_FALSE(link.TryToConnect());
    EXPECT_EQ(autoChecks, 11); // ten ticks in the wait, and the state shown after giving up
    EXPECT_EQ(sck.connects, 1);
}
