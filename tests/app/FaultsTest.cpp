// The main window against a peer that misbehaves, over real loopback sockets, and against a
// data folder that goes away: no crash, no hang, bounded memory, and recovery.
#include "FormFixture.h"

#include <QDir>

using namespace quadrantel;
using namespace quadrantel::test;
using Faults = FormTest;

TEST_F(Faults, GarbageIsSurvivedAndANewConnectionReadsAfresh)
{
    loadOnPeer();
    // Position-like pieces among the noise: colons, empty fields, huge and negative numbers.
    peer.send("\r\n@\r\n@:\r\n@N::::::::\r\n@N:X:1:1:-999999999999:1e308:nan:inf:\r\n@N:Y:1:1:91:181\r\n\r\n" + kDlh +
              "@N:BAW456:1001:1:49.0:8.0:12");
    ASSERT_TRUE(reads("DLH123"));
    ASSERT_TRUE(form->traffic().Contains("Y"));
    // A reading on a garbage record neither crashes nor shows a bearing.
    for (const char* call : {"Y", "X"}) {
        atc.callsign = call;
        form->cmdPicTowrix.setValue(1);
        EXPECT_EQ(form->txtQDR.text(), "---") << call;
    }
    peer.client->disconnectFromHost();
    ASSERT_TRUE(shows("Disconnected"));
    EXPECT_NE(daily("Log").find("Socket Closed"), std::string::npos);

    // Guards against the lost tail being glued to the next connection's first line.
    connect();
    peer.send("@N:AFR789:1002:1:49.5:8.5:9000:250:0\r\n");
    ASSERT_TRUE(reads("AFR789"));
    EXPECT_FALSE(form->traffic().Contains("BAW456"));
}

// Guards against filling the strip list entry by entry: with 2,000 aircraft a bound widget was
// rebuilt 2,000 times and the window stood still for seconds.
TEST_F(Faults, TwoThousandAircraftFillTheStripListInOneChange)
{
    loadOnPeer();
    std::string lines;
    for (int i = 0; i < 2000; ++i)
        lines += "@N:SIM" + std::to_string(i) + ":1000:1:50.5:9.0:35000:420:0\r\n";
    peer.send(lines);
    ASSERT_TRUE(WaitUntil([&] { return form->traffic().colTraffic().size() == 2000; }));
    auto changes = std::make_shared<int>(0); // the slot outlives this body
    form->lstStrips.changed.connect([changes] { ++*changes; });
    form->lstStrips.setListIndex(-1);
    clock.advance(11);
    peer.send(kDlh);
    ASSERT_TRUE(WaitUntil([&] { return form->lstStrips.listCount() == 2001; }));
    EXPECT_LE(*changes, 3);
}

TEST_F(Faults, NobodyListening)
{
    loadOnPeer(false);
    peer.server.close();
    form->cmdConnect.click();
    EXPECT_TRUE(shows("Disconnected"));
    EXPECT_NE(daily("Log").find("Socket Error"), std::string::npos);
    EXPECT_NE(daily("Log").find("Unable to connect to Linkar"), std::string::npos);
}

// Lines are lost only while the folder is gone; the files come back with it.
TEST_F(Faults, DataFolderVanishesAndComesBack)
{
    loadOnPeer();
    peer.send(kDlh);
    ASSERT_TRUE(WaitUntil([&] { return daily("Dump").find("DLH123") != std::string::npos; }));
    const std::string folder = dir.path() + "/Quadrantel";
    ASSERT_TRUE(QDir(QString::fromStdString(folder)).removeRecursively());
    peer.send("@N:LOST1:1000:1:50.5:9.0:35000:420:0\r\n");
    ASSERT_TRUE(reads("LOST1"));
    link().UpdateState();
    EXPECT_FALSE(QDir(QString::fromStdString(folder)).exists()); // nothing recreates it behind the user's back

    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    peer.send("@N:BACK1:1000:1:50.5:9.0:35000:420:0\r\n");
    ASSERT_TRUE(WaitUntil([&] { return daily("Dump").find("BACK1") != std::string::npos; }));
    EXPECT_EQ(daily("Dump").find("LOST"), std::string::npos);
    link().UpdateState();
    EXPECT_NE(daily("Log").find("State:Connected"), std::string::npos);
}
