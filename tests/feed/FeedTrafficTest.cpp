#include "feed/FeedTraffic.h"
#include "feed/FeedSettings.h"
#include "feed/NetworkClock.h"

#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quadrantel::feed {
namespace {

constexpr std::int64_t kNow = 1796668215'000;
const Station kStation{50, 8};

Pilot At(const std::string& call, double lat, double lon, std::int64_t ageMs = 5000)
{
    Pilot p;
    p.callsign = call;
    p.latitude = lat;
    p.longitude = lon;
    p.altitudeFt = 30000;
    p.positionMs = kNow - ageMs;
    return p;
}

Snapshot File(std::vector<Pilot> pilots, std::int64_t updatedMs = kNow)
{
    Snapshot s;
    s.updatedMs = updatedMs;
    s.pilots = std::move(pilots);
    return s;
}

std::vector<std::string> Kept(const FeedTraffic::Changes& c)
{
    std::vector<std::string> out;
    for (const Pilot* p : c.kept)
        out.push_back(p->callsign);
    std::sort(out.begin(), out.end());
    return out;
}

class FeedTrafficTest : public ::testing::Test {
protected:
    FeedTrafficTest() { (void)traffic.SetStation(kStation, kNow); }
    FeedTraffic traffic;
};

TEST_F(FeedTrafficTest, OnlyPilotsWithin400NmOfTheStationAreKept)
{
    // One minute of latitude is one nautical mile.
    const auto c = traffic.Apply(File({At("IN", 50 + 399.9 / 60, 8), At("OUT", 50 + 400.1 / 60, 8)}), kNow);
    EXPECT_EQ(Kept(c), std::vector<std::string>{"IN"});
}

TEST_F(FeedTrafficTest, AnotherStationFiltersTheLatestFileAgain)
{
    (void)traffic.Apply(File({At("NEAR", 50.5, 8), At("FAR", 10, 10)}), kNow);
    const auto c = traffic.SetStation(Station{10.2, 10}, kNow);
    EXPECT_EQ(Kept(c), std::vector<std::string>{"FAR"});
    EXPECT_EQ(c.dropped, std::vector<std::string>{"NEAR"});
    EXPECT_TRUE(Kept(traffic.SetStation(std::nullopt, kNow)).empty());
}

TEST_F(FeedTrafficTest, APilotMissingFromTwoFilesInARowIsDropped)
{
    (void)traffic.Apply(File({At("GONE", 50.5, 8), At("BLINK", 50.6, 8)}), kNow);
    EXPECT_EQ(Kept(traffic.Apply(File({At("BLINK", 50.6, 8)}), kNow)), (std::vector<std::string>{"BLINK", "GONE"}));
    const auto c = traffic.Apply(File({}), kNow);
    EXPECT_EQ(Kept(c), std::vector<std::string>{"BLINK"});
    EXPECT_EQ(c.dropped, std::vector<std::string>{"GONE"});
    // Seen again, his count starts over.
    (void)traffic.Apply(File({At("BLINK", 50.6, 8)}), kNow);
    EXPECT_EQ(Kept(traffic.Apply(File({}), kNow)), std::vector<std::string>{"BLINK"});
}

TEST_F(FeedTrafficTest, APilotLeavingTheRangeIsDroppedAtOnce)
{
    (void)traffic.Apply(File({At("AWAY", 50.5, 8)}), kNow);
    EXPECT_EQ(traffic.Apply(File({At("AWAY", 58, 8)}), kNow).dropped, std::vector<std::string>{"AWAY"});
}

TEST_F(FeedTrafficTest, APositionOverTwoMinutesOldIsDroppedByThePilotsOwnTime)
{
    const auto c = traffic.Apply(File({At("OLD", 50.5, 8, kMaxAgeMs + 1), At("EDGE", 50.5, 8, kMaxAgeMs)}), kNow);
    EXPECT_EQ(Kept(c), std::vector<std::string>{"EDGE"});
    EXPECT_EQ(traffic.Expire(kNow + 1).dropped, std::vector<std::string>{"EDGE"});
}

TEST_F(FeedTrafficTest, APilotWithoutHisOwnTimeTakesTheFiles)
{
    Pilot p = At("NOTIME", 50.5, 8);
    p.positionMs = 0;
    (void)traffic.Apply(File({p}, kNow - 7000), kNow);
    EXPECT_EQ(traffic.Find("notime")->positionMs, kNow - 7000);
}

TEST(FeedProjection, AnAirbornePilotMovesAlongHisHeadingForAtMostAMinute)
{
    const struct {
        const char* what;
        double speed, heading;
        std::int64_t ageMs;
        double dLat, dLon;
        const char* note;
    } cases[] = {
        {"north, 600 kt for 30 s: 5 NM", 600, 0, 30'000, 5.0 / 60, 0, "position 30 s old, projected"},
        {"east on the equator", 600, 90, 30'000, 0, 5.0 / 60, "position 30 s old, projected"},
        {"at most a minute", 600, 0, 90'000, 10.0 / 60, 0, "position 90 s old, projected 60 s"},
        {"taxiing", kMinProjectedKt - 1, 0, 30'000, 0, 0, "position 30 s old"},
        {"at the threshold", kMinProjectedKt, 180, 90'000, -(kMinProjectedKt / 60) / 60, 0,
         "position 90 s old, projected 60 s"},
        {"no heading", 600, -1, 30'000, 0, 0, "position 30 s old"},
        {"a time in the future counts as now", 600, 0, -5000, 0, 0, "position 0 s old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pilot p = At("P", 0, 0, c.ageMs);
        p.groundSpeedKt = c.speed;
        p.headingDeg = c.heading;
        const Projection f = Project(p, kNow);
        EXPECT_NEAR(f.latitude, c.dLat, 1e-9);
        EXPECT_NEAR(f.longitude, c.dLon, 1e-9);
        EXPECT_EQ(FixNote(f), c.note);
    }
}

TEST(NetworkClockTest, TheFilesTimeMovesOnWithTheMonotonicClockNotWithThePcsDate)
{
    test::FakeClock pc;
    NetworkClock net(pc);
    EXPECT_EQ(net.NowMs(), pc.nowMSecs()); // before any file: the PC's
    net.FileArrived(kNow, 0);
    pc.set(pc.now().addSecs(3600)); // the PC's clock set an hour on
    pc.advanceMs(1500);
    EXPECT_EQ(net.NowMs(), kNow + 1500);
    net.FileArrived(kNow, kNow + 20'000); // served 20 s after it was made: dated by the answer
    EXPECT_EQ(net.NowMs(), kNow + 20'000);
    net.FileArrived(kNow, kNow + kMaxDeliveryMs + 1000); // a Date no delivery explains is not taken
    EXPECT_EQ(net.NowMs(), kNow);
    net.FileArrived(0, kNow - 5000); // a file without a time of its own
    EXPECT_EQ(net.NowMs(), kNow - 5000);
}

TEST(FeedSettingsTest, AFileWithoutTheKeysKeepsTheLinkAndStaysAsItWas)
{
    test::TempDir dir;
    const std::string file = dir.file("Config.ini");
    test::WriteFile(file, "[Setup]\r\nVID=1\r\n");
    const FeedSettings s = ReadFeedSettings(file);
    EXPECT_EQ(s.source, PositionChoice::Link);
    EXPECT_TRUE(WriteFeedSettings(file, s));
    EXPECT_EQ(test::ReadFile(file), "[Setup]\r\nVID=1\r\n");
}

TEST(FeedSettingsTest, TheIntervalIsNeverBelowFifteenSeconds)
{
    test::TempDir dir;
    const std::string file = dir.file("Config.ini");
    for (const auto& [text, seconds] :
         std::vector<std::pair<std::string, int>>{{"60", 60}, {"14", 15}, {"-5", 15}, {"20.5", 15}, {"lots", 15}}) {
        SCOPED_TRACE(text);
        test::WriteFile(file, "[Setup]\r\nPositionSource=feed\r\nFeedInterval=" + text + "\r\n");
        EXPECT_EQ(ReadFeedSettings(file).source, PositionChoice::Feed);
        EXPECT_EQ(ReadFeedSettings(file).intervalSeconds, seconds);
    }
    test::WriteFile(file, "[Setup]\r\nPositionSource=both\r\n");
    EXPECT_EQ(ReadFeedSettings(file).source, PositionChoice::Both);
}

TEST(FeedSettingsTest, OnlyHttpAddressesWithAHostAreTaken)
{
    EXPECT_EQ(FeedURLProblem("https://data.example.net/feed.json"), "");
    EXPECT_EQ(FeedURLProblem(" http://127.0.0.1:8080/ "), "");
    for (const char* bad : {"", "ws://127.0.0.1/x", "data.example.net/feed.json", "http://"}) {
        SCOPED_TRACE(bad);
        EXPECT_NE(FeedURLProblem(bad), "");
    }
}

} // namespace
} // namespace quadrantel::feed
