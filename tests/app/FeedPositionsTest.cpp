// The main window with the data feed as its position source, served by a local HTTP server.
#include "FormFixture.h"

#include "support/CommaLocale.h"
#include "support/HttpStub.h"

using namespace quadrantel;
using namespace quadrantel::test;

namespace {

// Twenty miles north of the station, flying east at 480 kt; the file saw him 30 s ago.
QByteArray File(const QDateTime& now)
{
    const QByteArray seen = now.toUTC().addSecs(-30).toString("yyyy-MM-ddTHH:mm:ss").toLatin1();
    const QByteArray made = now.toUTC().addSecs(-2).toString("yyyy-MM-ddTHH:mm:ss.zzzZ").toLatin1();
    return R"({"general":{"update_timestamp":")" + made + R"("},"pilots":[
        {"callsign":"DLH123","latitude":50.36667,"longitude":8.57056,"altitude":35000,"groundspeed":480,
         "heading":90,"transponder":"1000","flight_plan":null,"last_updated":")" +
           seen + R"("}]})";
}

class FeedPositionsTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        writeConfig("AutoStart=1\r\nStation=" + kStation +
                    "\r\nPositionSource=Feed\r\nFeedURL=" + server.url().toString().toStdString() + "\r\n");
        load(services());
        form->SetAutostart();
        form->tmrUpdate.onTimer();
    }
    bool listed(const char* callsign)
    {
        return WaitUntil([&] {
            form->tmrUpdate.onTimer();
            return form->lstStrips.listCount() > 0 && form->lstStrips.list(0) == callsign;
        });
    }

    HttpStub server{[this](const QByteArray&) { return HttpStub::Ok(File(clock.now())); }};
};

TEST_F(FeedPositionsTest, AReadingRestsOnThePositionMovedToNow)
{
    const CommaLocale comma; // a German desktop reads and writes the same numbers
    ASSERT_TRUE(comma.active());
    ASSERT_TRUE(listed("DLH123")) << form->lblError.caption();
    form->lstStrips.setListIndex(0);
    // 4 NM east of a point 20 NM north: 11 degrees, not the 000 of the file's position.
    EXPECT_EQ(form->txtQDR.text(), "011");
    EXPECT_EQ(form->txtGonio.toolTip(), "Distance 20  (229/35000ft )  position 30 s old, projected");
    EXPECT_EQ(form->lblState.toolTip(), "data feed: 1 pilots, 2 s old");
    EXPECT_EQ(sck->connects, 0) << "the link was asked too";
}

TEST_F(FeedPositionsTest, DisconnectStopsTheFeedAndConnectStartsIt)
{
    ASSERT_TRUE(listed("DLH123"));
    form->cmdClose.click();
    form->tmrUpdate.onTimer();
    EXPECT_FALSE(form->feed()->running());
    EXPECT_FALSE(form->chkAutoConnect.checked());
    EXPECT_FALSE(form->cmdClose.visible());
    EXPECT_EQ(form->lblError.caption(), "data feed: stopped");
    EXPECT_EQ(form->lblState.picture(), platform::Picture::Red);
    const int before = server.requests;
    form->cmdConnect.click();
    EXPECT_TRUE(WaitUntil([&] { return server.requests > before; }));
}

// Guards against a closed window's feed fetching on.
TEST_F(FeedPositionsTest, ClosingTheWindowStopsTheFeed)
{
    ASSERT_TRUE(listed("DLH123"));
    form->Form_Unload();
    EXPECT_FALSE(form->feed()->running());
    form.reset();
}

TEST_F(FeedPositionsTest, AnotherStationFiltersThePilotsAgainAtOnce)
{
    ASSERT_TRUE(listed("DLH123"));
    form->txtStation.setText("FAR N010.00.00.000 E010.00.00.000");
    form->tmrUpdate.onTimer();
    EXPECT_EQ(form->lstStrips.listCount(), 0);
    EXPECT_FALSE(form->traffic().Contains("DLH123"));
}

} // namespace
