// The main window with the data feed as its position source, served by a local HTTP server
// whose clock is the network's: the test's clock, less what the PC's is off.
#include "FormFixture.h"

#include "feed/FeedSource.h"
#include "support/CommaLocale.h"
#include "support/HttpStub.h"

#include <sys/stat.h>

using namespace quadrantel;
using namespace quadrantel::test;

namespace {

// Twenty miles north of the station, flying east at 480 kt; the file saw him 30 s ago.
QByteArray File(const QDateTime& now, const QByteArray& callsign)
{
    const QByteArray seen = now.toUTC().addSecs(-30).toString("yyyy-MM-ddTHH:mm:ss").toLatin1();
    const QByteArray made = now.toUTC().addSecs(-2).toString("yyyy-MM-ddTHH:mm:ss.zzzZ").toLatin1();
    return R"({"general":{"update_timestamp":")" + made + R"("},"pilots":[
        {"callsign":")" +
           callsign + R"(","latitude":50.36667,"longitude":8.57056,"altitude":35000,
         "groundspeed":480,"heading":90,"transponder":"1\t000","flight_plan":null,"last_updated":")" +
           seen + R"("}]})";
}

class FeedPositionsTest : public FormTest {
protected:
    // The window on the feed, the PC's clock `skew` seconds ahead of the network's; a fetch
    // every `intervalMs` when given, else as Config.ini says.
    void Open(int skew = 0, int intervalMs = 0)
    {
        if (form)
            form->Form_Unload();
        network = clock.now();
        clock.set(network.addSecs(skew));
        writeConfig("AutoStart=1\r\nStation=" + kStation + "\r\nPositionSource=Feed\r\nFeedURL=" + url() + "\r\n");
        auto s = services();
        if (intervalMs > 0) {
            s.feed.emplace();
            s.feed->fetch.url = server.url();
            s.feed->intervalMs = intervalMs;
        }
        load(std::move(s));
        form->SetAutostart();
        form->tmrUpdate.onTimer();
    }
    std::string url() const { return server.url().toString().toStdString(); }
    bool listed(const char* callsign)
    {
        return WaitUntil([&] {
            form->tmrUpdate.onTimer();
            return form->lstStrips.listCount() > 0 && form->lstStrips.list(0) == callsign;
        });
    }
    // Time passes for the PC and the network alike; the feed fetches a file of the new time.
    void pass(int seconds)
    {
        clock.advance(seconds);
        network = network.addSecs(seconds);
        const int before = server.requests;
        ASSERT_TRUE(WaitUntil([&] { return server.requests > before + 1; }));
        form->tmrUpdate.onTimer();
    }
    feed::FeedController& feed() { return form->sources().feed->controller(); }

    QDateTime network = clock.now();
    QDateTime frozenAt; // a server that serves the file of this time over and over
    QByteArray callsign = "DLH123";
    bool hang = false; // answers never end
    HttpStub server{[this](const QByteArray&) {
        if (hang)
            return HttpStub::Answer{"HTTP/1.1 200 OK\r\nContent-Length: 100", "{", true};
        const QDateTime made = frozenAt.isValid() ? frozenAt : network;
        return HttpStub::Ok(File(made, callsign),
                            "Date: " + network.toUTC().toString("ddd, dd MMM yyyy HH:mm:ss 'GMT'").toLatin1() + "\r\n");
    }};
};

// Guards against the PC's clock deciding: 5 minutes fast dropped every pilot, 5 minutes slow
// read him where the file saw him, as a position of "0 s". Once off, it is named, once.
TEST_F(FeedPositionsTest, AReadingRestsOnThePositionMovedToTheNetworksNow)
{
    const CommaLocale comma; // a German desktop reads and writes the same numbers
    ASSERT_TRUE(comma.active());
    for (const int skew : {0, 300, -300}) {
        SCOPED_TRACE(skew);
        Open(skew, 20);
        ASSERT_TRUE(listed("DLH123")) << form->lblError.caption();
        form->lstStrips.setListIndex(0);
        // 4 NM east of a point 20 NM north: 11 degrees, not the 000 of the file's position.
        EXPECT_EQ(form->txtQDR.text(), "011");
        EXPECT_EQ(form->txtGonio.toolTip(),
                  "Distance 20  (229/35000ft )  position 30 s old, projected along the heading");
        EXPECT_EQ(form->lblState.toolTip(), "data feed: 1 of 1 pilots within 400 NM, 2 s old");
        EXPECT_EQ(form->lblState.picture(), platform::Picture::Green);
        EXPECT_EQ(sck, nullptr) << "the link was built too";
        const std::string said = std::string("The PC's clock is 300 s ") + (skew > 0 ? "ahead of" : "behind");
        pass(15);
        EXPECT_EQ(daily("Log").find(said), daily("Log").rfind(said)) << "said more than once";
        EXPECT_EQ(daily("Log").find(said) != std::string::npos, skew != 0);
    }
}

// Guards against failure shown as success: with every pilot expired the light stayed green and
// the text counted the whole file.
TEST_F(FeedPositionsTest, AFrozenFeedIsNamedAndItsLightIsNotGreen)
{
    Open(0, 20);
    ASSERT_TRUE(listed("DLH123"));
    frozenAt = network;
    pass(92); // his position is 30 s old, so over 2 minutes now
    EXPECT_EQ(form->lstStrips.listCount(), 0);
    EXPECT_EQ(form->lblState.toolTip(), "data feed: 0 of 1 pilots within 400 NM (1 too old), 94 s old");
    EXPECT_EQ(form->lblState.picture(), platform::Picture::Red);
    form->tmrSpeakers.onTimer(); // quiet for 10 s: the position source's check
    clock.advance(11);
    form->tmrSpeakers.onTimer();
    EXPECT_EQ(form->lblError.caption(), "Waiting ... "); // the last new file is 103 s old
    pass(17);
    form->tmrSpeakers.onTimer();
    clock.advance(11);
    form->tmrSpeakers.onTimer();
    EXPECT_EQ(form->lblError.caption(), "data feed: no new file for 2 min");
}

// Guards against the feed's pilots going through text: a ":" in a callsign (or a TAB in a
// transponder code) shifted the fields of the line made for him.
TEST_F(FeedPositionsTest, ACallsignWithAColonStaysOnePilot)
{
    callsign = "DLH:123";
    Open();
    ASSERT_TRUE(listed("DLH:123"));
    form->lstStrips.setListIndex(0);
    EXPECT_EQ(form->txtQDR.text(), "011");
    EXPECT_EQ(form->txtGonio.toolTip(), "Distance 20  (229/35000ft )  position 30 s old, projected along the heading");
}

TEST_F(FeedPositionsTest, DisconnectStopsTheFeedAndConnectStartsIt)
{
    Open();
    ASSERT_TRUE(listed("DLH123"));
    form->cmdClose.click();
    form->tmrUpdate.onTimer();
    EXPECT_FALSE(feed().running());
    EXPECT_FALSE(form->chkAutoConnect.checked());
    EXPECT_FALSE(form->cmdClose.visible());
    EXPECT_EQ(form->lblError.caption(), "data feed: stopped");
    EXPECT_EQ(form->lblState.picture(), platform::Picture::Red);
    const int before = server.requests;
    form->cmdConnect.click();
    EXPECT_TRUE(WaitUntil([&] { return server.requests > before; }));
}

// Guards against a closed window's feed fetching on; closed mid-fetch, its thread and connection go.
TEST_F(FeedPositionsTest, ClosingTheWindowMidFetchStopsTheFeed)
{
    Open(0, 20);
    ASSERT_TRUE(listed("DLH123"));
    hang = true;
    const int before = server.requests;
    ASSERT_TRUE(WaitUntil([&] { return server.requests > before; }));
    const int closed = server.closed;
    form->Form_Unload();
    EXPECT_FALSE(feed().running());
    form.reset();
    EXPECT_TRUE(WaitUntil([&] { return server.closed > closed; }));
}

// Guards against a FeedURL in Config.ini taken unchecked: naming a FIFO blocked the window for good.
TEST_F(FeedPositionsTest, AFeedUrlThatIsNoWebAddressIsNamedAndNeverOpened)
{
    const std::string fifo = dir.path() + "/feed.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    writeConfig("AutoStart=1\r\nStation=" + kStation + "\r\nPositionSource=Feed\r\nFeedURL=file://" + fifo + "\r\n");
    load(services());
    form->SetAutostart();
    form->tmrUpdate.onTimer();
    EXPECT_EQ(form->lblState.toolTip(), "data feed: FeedURL is not an http:// or https:// address");
    EXPECT_EQ(form->lblState.picture(), platform::Picture::Red);
}

TEST_F(FeedPositionsTest, AnotherStationFiltersThePilotsAgainAtOnce)
{
    Open();
    ASSERT_TRUE(listed("DLH123"));
    form->txtStation.setText("FAR N010.00.00.000 E010.00.00.000");
    form->tmrUpdate.onTimer();
    EXPECT_EQ(form->lstStrips.listCount(), 0);
    EXPECT_FALSE(form->traffic().Contains("DLH123"));
    EXPECT_EQ(form->lblState.picture(), platform::Picture::Green); // a quiet sky is no fault
}

} // namespace
