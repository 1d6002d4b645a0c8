#include "traffic/TrafficTable.h"
#include "traffic/BothSources.h"

#include "support/FakeClock.h"

#include <gtest/gtest.h>

namespace quadrantel::traffic {
namespace {

Position At(const char* callsign, Source source, double latitude = 50)
{
    Position p;
    p.callsign = callsign;
    p.latitude = latitude;
    p.source = source;
    return p;
}

TEST(RebuildStrips, DropsQuietLinkAircraftAndThoseWithoutRecordAndKeepsTheFeedsToItself)
{
    KeyedCollection<std::string> calls;
    KeyedCollection<Position> traffic;
    KeyedCollection<std::int64_t> seen;
    for (const char* c : {"NOTIME", "NOREC", "OK", "OLD", "FEED"})
        calls.reappend(c) = c;
    for (const char* c : {"NOTIME", "OK", "OLD"})
        traffic.reappend(c) = At(c, Source::Link);
    traffic.reappend("FEED") = At("FEED", Source::Feed);
    for (const auto& [c, at] : {std::pair{"NOREC", 100}, {"OK", 50}, {"OLD", 49}, {"FEED", 0}})
        seen.reappend(c) = at;
    const StripList list = RebuildStrips(calls, traffic, seen, 100, "OK");
    EXPECT_EQ(list, (StripList{{"NOTIME", "OK", "FEED"}, 1}));
    EXPECT_EQ(traffic.size(), 3u);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(TrafficTable, TheLinksPositionIsKeptOverTheFeedsWhileTheLinkRelaysHim)
{
    test::FakeClock clock;
    TrafficTable table(clock, clock.now());
    table.Store(At("DLH1", Source::Link, 1), 0);
    table.Store(At("dlh1", Source::Feed, 2), 50);
    EXPECT_EQ(table.Record("DLH1")->latitude, 1);
    table.Remove("DLH1", Source::Feed); // the feed letting go of him leaves the link's
    EXPECT_TRUE(table.Contains("DLH1"));
    table.Store(At("dlh1", Source::Feed, 2), 51); // the link has not relayed him for 51 s
    EXPECT_EQ(table.Record("DLH1")->latitude, 2);
    EXPECT_EQ(table.LastSeen("DLH1"), 51);
    table.Store(At("DLH1", Source::Link, 3), 52);
    EXPECT_EQ(table.Record("DLH1")->latitude, 3);
    EXPECT_EQ(table.Refresh({}, 52)->callsigns, std::vector<std::string>{"DLH1"});
    table.Remove("DLH1", Source::Link);
    EXPECT_EQ(table.Refresh({}, 52), std::nullopt) << "rebuilt again within 10 s";
    EXPECT_TRUE(table.Refresh({}, 52, true)->callsigns.empty());
}

// A source whose answers the test sets.
class FakeSource final : public PositionSource {
public:
    explicit FakeSource(const char* name) : name_(name) {}
    void Start() override { calls += "start "; }
    void Stop() override { calls += "stop "; }
    void Connect() override { calls += "connect "; }
    void Disconnect() override { calls += "disconnect "; }
    void Tick() override { calls += "tick "; }
    std::string StateText() const override { return name_; }
    platform::Picture Light() const override { return light; }
    void NoDataCheck(bool red) override { calls += red ? "red-check " : "check "; }
    std::optional<Fix> FixOf(const std::string& callsign) const override
    {
        return Fix{At(callsign.c_str(), Source::Link), note};
    }

    std::string calls, note;
    platform::Picture light = platform::Picture::Red;

private:
    std::string name_;
};

class BothSourcesTest : public ::testing::Test {
protected:
    BothSourcesTest()
    {
        auto l = std::make_unique<FakeSource>("Connected");
        auto f = std::make_unique<FakeSource>("data feed: stopped");
        link = l.get();
        feed = f.get();
        both.Attach(std::move(l), std::move(f));
    }

    platform::Button cmdConnect, cmdClose;
    test::FakeClock clock;
    TrafficTable table{clock, clock.now()};
    BothSources both{{cmdConnect, cmdClose}, table};
    FakeSource *link = nullptr, *feed = nullptr;
};

TEST_F(BothSourcesTest, EachPilotIsReadFromTheSourceThatStoredHimAndTheNoteSaysWhich)
{
    table.Store(At("LINK1", Source::Link), table.SecondsNow());
    table.Store(At("FEED1", Source::Feed), table.SecondsNow());
    clock.advance(3);
    feed->note = "position 12 s old, projected";
    EXPECT_EQ(both.FixOf("LINK1")->note, "link: position 3 s old");
    EXPECT_EQ(both.FixOf("FEED1")->note, "data feed: position 12 s old, projected");
    EXPECT_FALSE(both.FixOf("NOBODY"));
}

TEST_F(BothSourcesTest, DisconnectIsOfferedWhileEitherRunsAndButtonsActOnBoth)
{
    both.feedClose.setVisible(false);
    both.linkClose.setVisible(false);
    both.feedClose.setEnabled(false);
    both.linkClose.setEnabled(false);
    EXPECT_TRUE(cmdConnect.visible());
    EXPECT_FALSE(cmdClose.visible());
    both.feedClose.setVisible(true);
    both.feedClose.setEnabled(true);
    EXPECT_TRUE(cmdClose.visible() && cmdClose.enabled());
    EXPECT_FALSE(cmdConnect.visible() || cmdConnect.enabled());

    both.Connect();
    both.Disconnect();
    both.Tick();
    EXPECT_EQ(link->calls, "connect disconnect tick ");
    EXPECT_EQ(feed->calls, "connect disconnect tick ");
}

// The link's silence is news only while it is connected; otherwise the feed's watch speaks.
TEST_F(BothSourcesTest, TheQuietCheckGoesToTheConnectedLinkElseToTheFeed)
{
    both.NoDataCheck(true);
    link->light = platform::Picture::Green;
    both.NoDataCheck(false);
    EXPECT_EQ(feed->calls, "red-check ");
    EXPECT_EQ(link->calls, "check ");
}

} // namespace
} // namespace quadrantel::traffic
