#include "traffic/TrafficTable.h"

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
    table.Remove("DLH1", Source::Link);
    EXPECT_FALSE(table.Contains("DLH1"));
}

} // namespace
} // namespace quadrantel::traffic
