// The main window against a peer that misbehaves, over real loopback sockets, and against a
// data folder that goes away or holds garbage: no crash, no hang, bounded memory, and recovery.
#include "app/GonioForm.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include "support/FakeAtcClient.h"
#include "support/FakeClock.h"
#include "support/FakeGonioHost.h"
#include "support/FakeVoiceClient.h"
#include "support/ScriptedPeer.h"
#include "support/ScriptedRandom.h"
#include "support/TempDir.h"
#include "support/TestServices.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTcpServer>

#include <cstdio>
#include <memory>
#include <random>

using namespace quadrantel;

namespace {

const char* const kStation = "EDDF N050.02.00.000 E008.34.14.000";
const char* const kDlh = "@N:DLH123:1000:1:50.5:9.0:35000:420:0\r\n";

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell::globals() = shell::Globals{};
        shell::SetupDataFolder(dir.path());
        shell::SetLogClock(&clock);
        test::WriteFile(dir.path() + "/Quadrantel/Config.ini", "[Setup]\r\nAutoStart=1\r\nDebug=1\r\nVID=1\r\nPort=" +
                                                                   peer.port() + "\r\nStation=" + kStation + "\r\n");
    }
    void load()
    {
        app::GonioServices s = test::TestServices(clock, random, voice, atc);
        form = std::make_unique<app::GonioForm>(host, std::move(s));
        form->Form_Load();
    }
    void TearDown() override
    {
        if (form)
            form->Form_Unload();
        form.reset();
        shell::CloseLogFiles();
        shell::SetLogClock(nullptr);
    }

    // Connects and waits for the login line; `accepted` connections so far.
    void connect()
    {
        const int before = peer.accepted;
        peer.received.clear();
        form->cmdConnect.click();
        ASSERT_TRUE(
            test::WaitUntil([&] { return peer.accepted > before && peer.received.find("\r\n") != std::string::npos; }));
        ASSERT_EQ(form->lblState.toolTip(), "Connected");
    }
    bool disconnected()
    {
        return test::WaitUntil([&] { return form->lblState.toolTip() == "Disconnected"; });
    }
    std::string log() const
    {
        return test::ReadFile(dir.path() + "/Quadrantel/Log_" + clock.now().toString("yyyyMMdd").toStdString() +
                              ".TXT");
    }
    std::string dump() const
    {
        return test::ReadFile(dir.path() + "/Quadrantel/Dump_" + clock.now().toString("yyyyMMdd").toStdString() +
                              ".TXT");
    }
    // After a fault, a fresh connection carries traffic again.
    void recovers()
    {
        connect();
        peer.send(kDlh);
        EXPECT_TRUE(test::WaitUntil([&] { return form->traffic().Contains("DLH123"); }));
    }

    test::TempDir dir;
    test::ScriptedPeer peer;
    test::FakeClock clock;
    test::ScriptedRandom random{{0.5}};
    test::FakeVoiceClient voice;
    test::FakeAtcClient atc;
    test::FakeGonioHost host;
    std::unique_ptr<app::GonioForm> form;
};

class LinkFaults : public Faults {
protected:
    void SetUp() override
    {
        Faults::SetUp();
        load();
    }
};
using DataFaults = Faults;

} // namespace

TEST_F(LinkFaults, PeerClosesInTheMiddleOfALine)
{
    connect();
    peer.send(std::string(kDlh) + "@N:BAW456:1001:1:49.0:8.0:12");
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().Contains("DLH123"); }));
    peer.client->disconnectFromHost();
    ASSERT_TRUE(disconnected());
    EXPECT_NE(log().find("Socket Closed"), std::string::npos);

    // Guards against the lost tail being glued to the next connection's first line.
    connect();
    peer.send("@N:AFR789:1002:1:49.5:8.5:9000:250:0\r\n");
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().colTraffic().size() >= 2; }));
    EXPECT_TRUE(form->traffic().Contains("AFR789"));
    EXPECT_FALSE(form->traffic().Contains("BAW456"));
}

TEST_F(LinkFaults, PeerResetsTheConnection)
{
    connect();
    peer.send(kDlh);
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().Contains("DLH123"); }));
    peer.reset();
    ASSERT_TRUE(disconnected());
    recovers();
}

TEST_F(LinkFaults, TenMegabytesWithoutALineEndStayBounded)
{
    connect();
    const std::string chunk(1 << 20, 'A');
    std::size_t longest = 0;
    for (int i = 0; i < 10; ++i) {
        peer.send(chunk);
        ASSERT_TRUE(test::WaitUntil([&] {
            longest = std::max(longest, form->traffic().sRest().size());
            return peer.client->bytesToWrite() == 0;
        }));
    }
    // Let the last bytes be read.
    test::WaitUntil(
        [&] {
            longest = std::max(longest, form->traffic().sRest().size());
            return false;
        },
        200);
    EXPECT_LE(longest, link::kMaxPendingLine);
    EXPECT_LE(form->traffic().sRest().capacity(), 2 * link::kMaxPendingLine);

    // The overlong line ends; what follows is read again, and the dump never held it.
    peer.send(std::string("\r\n") + kDlh);
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().Contains("DLH123"); }));
    EXPECT_LT(dump().size(), 1000u);
    EXPECT_NE(log().find("Dropped an unfinished line"), std::string::npos);
}

TEST_F(LinkFaults, BinaryGarbageIsSurvived)
{
    connect();
    std::mt19937 rng(7);
    std::string garbage(256 * 1024, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng());
    // Position-like pieces among the noise: colons, empty fields, huge and negative numbers.
    garbage += "\r\n@\r\n@:\r\n@N::::::::\r\n@N:X:1:1:-999999999999:1e308:nan:inf:\r\n@N:Y:1:1:91:181\r\n";
    peer.send(garbage);
    peer.send(std::string("\r\n") + kDlh);
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().Contains("DLH123"); }));
    // A reading on a garbage record neither crashes nor shows a bearing.
    clock.advance(11);
    peer.send("@N:Y:1:1:91:181\r\n");
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().Contains("Y"); }));
    for (const char* call : {"Y", "X"}) {
        atc.callsign = call;
        form->cmdPicTowrix.setValue(1);
        EXPECT_EQ(form->txtQDR.text(), "---") << call;
    }
    EXPECT_EQ(form->lblState.toolTip(), "Connected");
}

// Guards against filling the strip list entry by entry: with 2,000 aircraft a bound widget was
// rebuilt 2,000 times and the window stood still for seconds.
TEST_F(LinkFaults, TwoThousandAircraftFillTheStripListInOneChange)
{
    connect();
    std::string lines;
    for (int i = 0; i < 2000; ++i)
        lines += "@N:SIM" + std::to_string(i) + ":1000:1:50.5:9.0:35000:420:0\r\n";
    peer.send(lines);
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().colTraffic().size() == 2000; }));
    auto changes = std::make_shared<int>(0); // the slot outlives this body
    form->lstStrips.changed.connect([changes] { ++*changes; });
    form->lstStrips.setListIndex(-1);
    clock.advance(11);
    peer.send(kDlh);
    ASSERT_TRUE(test::WaitUntil([&] { return form->lstStrips.listCount() == 2001; }));
    EXPECT_LE(*changes, 3);
    EXPECT_EQ(form->lstStrips.list(2000), "DLH123");
}

TEST_F(LinkFaults, PeerThatNeverAnswersLeavesTheWindowResponsive)
{
    connect();
    // No acceptance comes: no identification is sent, and the window still disconnects on demand.
    test::WaitUntil([] { return false; }, 500);
    EXPECT_EQ(peer.received.find("!C"), std::string::npos);
    EXPECT_EQ(form->lblState.toolTip(), "Connected");
    form->cmdClose.click();
    form->link().UpdateState();
    EXPECT_TRUE(disconnected());
    EXPECT_FALSE(form->chkAutoConnect.checked());
    recovers();
}

TEST_F(LinkFaults, NobodyListening)
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const auto port = closed.serverPort();
    closed.close();
    shell::globals().sPort = std::to_string(port);
    form->cmdConnect.click();
    EXPECT_TRUE(disconnected());
    EXPECT_NE(log().find("Unable to connect to Linkar"), std::string::npos);
}

TEST_F(LinkFaults, RefusedLoginClosesTheWindow)
{
    connect();
    peer.send("#TMSERVER:Quadrantel:NO such VID / Password\r\n");
    ASSERT_TRUE(test::WaitUntil([&] { return host.unloads == 1; }));
    EXPECT_EQ(host.setupShown, 1);
    EXPECT_EQ(form->lblError.caption(), "Gonio cannot act as Linkar Primary Connection;");
    EXPECT_TRUE(disconnected());
    EXPECT_EQ(peer.received.find("!C"), std::string::npos);
}

// Guards against a server's error line going unseen: only "Disconnected" showed, again and again.
TEST_F(LinkFaults, ServerErrorBeforeTheCloseIsShown)
{
    connect();
    peer.send("$ERserver:Quadrantel:006:1:Invalid CID/password\r\n");
    peer.client->disconnectFromHost();
    EXPECT_TRUE(test::WaitUntil([&] { return form->lblError.caption() == "Disconnected\r\nInvalid CID/password"; }));
    EXPECT_NE(log().find("Server error Invalid CID/password"), std::string::npos);

    connect(); // a new connection forgets the old error
    peer.client->disconnectFromHost();
    EXPECT_TRUE(test::WaitUntil([&] { return form->lblError.caption() == "Disconnected"; }));
}

// Guards against an unusable port failing without a word: "Starting ..." stayed for good.
TEST_F(LinkFaults, InvalidPortIsNamed)
{
    for (const std::string port : {"0", "-1", "65536", "abc"}) {
        shell::globals().sPort = port;
        form->cmdConnect.click();
        const std::string problem = "Invalid Linkar port \"" + port + "\": use a number from 1 to 65535";
        EXPECT_EQ(form->lblError.caption(), problem);
        EXPECT_NE(log().find(problem), std::string::npos);
    }
    EXPECT_EQ(peer.accepted, 0);
}

// Lines are lost only while the folder is gone; the files come back with it.
TEST_F(DataFaults, DataFolderVanishesAndComesBack)
{
    load();
    connect();
    peer.send(kDlh);
    ASSERT_TRUE(test::WaitUntil([&] { return dump().find("DLH123") != std::string::npos; }));
    const std::string folder = dir.path() + "/Quadrantel";
    ASSERT_TRUE(QDir(QString::fromStdString(folder)).removeRecursively());
    peer.send("@N:LOST1:1000:1:50.5:9.0:35000:420:0\r\n");
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().Contains("LOST1"); }));
    form->link().UpdateState();
    EXPECT_FALSE(QDir(QString::fromStdString(folder)).exists()); // nothing recreates it behind the user's back

    // A file where the folder was: nothing can be written there either (root ignores mode bits).
    test::WriteFile(folder, "not a folder");
    peer.send("@N:LOST2:1000:1:50.5:9.0:35000:420:0\r\n");
    ASSERT_TRUE(test::WaitUntil([&] { return form->traffic().Contains("LOST2"); }));

    std::remove(folder.c_str());
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    peer.send("@N:BACK1:1000:1:50.5:9.0:35000:420:0\r\n");
    ASSERT_TRUE(test::WaitUntil([&] { return dump().find("BACK1") != std::string::npos; }));
    EXPECT_EQ(dump().find("LOST"), std::string::npos);
    form->link().UpdateState();
    EXPECT_NE(log().find("State:Connected"), std::string::npos);
    EXPECT_EQ(form->lblState.toolTip(), "Connected");
}

TEST_F(DataFaults, CorruptConfigurationAndPositionFilesGiveDefaults)
{
    std::mt19937 rng(3);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng());
    test::WriteFile(dir.path() + "/Quadrantel/Config.ini",
                    garbage + "\r\n[Setup\r\nLastX=\xff\xfe\r\n=\r\nOnTop=99999999999999999999\r\nPort=" +
                        std::string(100000, '9') + "\r\n[Setup]\r\nLastY=-\r\nAutoStart=\x01\r\n");
    test::WriteFile(dir.path() + "/Quadrantel/gonio_EDDF_N050.02.00.000_E008.34.14.000.position", garbage);
    test::WriteFile(dir.path() + "/Quadrantel/gonio_.position", "");
    load();
    EXPECT_TRUE(form->loaded());
    EXPECT_EQ(host.x, 3180); // centred: the saved position is no number
    EXPECT_FALSE(form->chkGonio.checked());
    EXPECT_GE(form->txtStation.listCount(), 0);
    EXPECT_EQ(shell::globals().sAddress, "127.0.0.1");
    // A connection to the absurd port fails cleanly.
    form->cmdConnect.click();
    EXPECT_EQ(form->lblState.toolTip(), "Disconnected");
}
