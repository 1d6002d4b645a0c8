#include "feed/FeedTraffic.h"
#include "feed/FeedSettings.h"
#include "feed/NetworkClock.h"
#include "gonio/Geodesy.h"

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
    FeedTrafficTest() { (void)traffic.SetStation(kStation, kNow, kInterval); }
    FeedTraffic::Changes Apply(std::vector<Pilot> pilots)
    {
        return traffic.Apply(File(std::move(pilots)), nullptr, kNow);
    }
    static constexpr std::int64_t kInterval = 15'000;
    FeedTraffic traffic;
};

TEST_F(FeedTrafficTest, OnlyPilotsWithin400NmOfTheStationAreKept)
{
    // One minute of latitude is one nautical mile.
    const auto c = Apply({At("IN", 50 + 399.9 / 60, 8), At("OUT", 50 + 400.1 / 60, 8)});
    EXPECT_EQ(Kept(c), std::vector<std::string>{"IN"});
}

TEST_F(FeedTrafficTest, AnotherStationFiltersTheLatestFileAgain)
{
    (void)Apply({At("NEAR", 50.5, 8), At("FAR", 10, 10)});
    const auto c = traffic.SetStation(Station{10.2, 10}, kNow, kInterval);
    EXPECT_EQ(Kept(c), std::vector<std::string>{"FAR"});
    EXPECT_EQ(c.dropped, std::vector<std::string>{"NEAR"});
    EXPECT_TRUE(Kept(traffic.SetStation(std::nullopt, kNow, kInterval)).empty());
}

// Guards against "N of M pilots" with N over M: a pilot missing from a file was kept.
TEST_F(FeedTrafficTest, APilotANewerFileLacksIsDroppedAndOnlyMovedOnesAreHandedOn)
{
    (void)Apply({At("GONE", 50.5, 8), At("STAY", 50.6, 8)});
    auto c = Apply({At("STAY", 50.6, 8)});
    EXPECT_EQ(Kept(c), std::vector<std::string>{"STAY"});
    EXPECT_EQ(c.dropped, std::vector<std::string>{"GONE"});
    EXPECT_TRUE(c.changed.empty());
    c = Apply({At("STAY", 50.6, 8, 1000)});
    ASSERT_EQ(c.changed.size(), 1u);
    EXPECT_EQ(Apply({At("STAY", 58, 8)}).dropped, std::vector<std::string>{"STAY"}) << "out of reach: gone at once";
}

// Guards against a long interval emptying the strip list: every pilot expired before the next file.
TEST_F(FeedTrafficTest, APositionExpiresByItsFilesTimeAndTheInterval)
{
    const auto c = Apply({At("OLD", 50.5, 8, kMaxAgeMs + 1), At("EDGE", 50.5, 8, kMaxAgeMs)});
    EXPECT_EQ(Kept(c), std::vector<std::string>{"EDGE"});
    EXPECT_TRUE(traffic.Expire(kNow + 299'000, 300'000).dropped.empty());
    EXPECT_TRUE(traffic.Expire(kNow + kInterval, kInterval).dropped.empty());
    EXPECT_EQ(traffic.Expire(kNow + kInterval + 1, kInterval).dropped, std::vector<std::string>{"EDGE"});
}

TEST_F(FeedTrafficTest, APilotWithoutHisOwnTimeTakesTheFiles)
{
    Pilot p = At("NOTIME", 50.5, 8);
    p.positionMs = 0;
    (void)traffic.Apply(File({p}, kNow - 7000), nullptr, kNow);
    EXPECT_EQ(traffic.Find("notime")->positionMs, kNow - 7000);
}

// A flight: its position `seconds` after (50 N, 8 E), flown in short steps through air moving
// `windKt` towards the east; its nose, turning at a steady rate.
struct Flight {
    double heading, speedKt, turnDegPerS, windKt = 0;
    Track::Fix At(double seconds) const
    {
        Track::Fix f{static_cast<std::int64_t>(seconds * 1000), 50, 8};
        double h = heading;
        for (int step = 0; step < static_cast<int>(seconds * 20); ++step) {
            const double mid = gonio::Deg2Rad(h + turnDegPerS / 40);
            const double east = speedKt * std::sin(mid) + windKt, north = speedKt * std::cos(mid);
            gonio::Destination(f.latitude, f.longitude, gonio::Rad2Deg(std::atan2(east, north)),
                               std::hypot(east, north) / 72'000, f.latitude, f.longitude);
            h += turnDegPerS / 20;
        }
        f.headingDeg = std::fmod(h + 720, 360);
        return f;
    }
    // Over the ground at that moment.
    double GroundKt(double seconds) const
    {
        const double h = gonio::Deg2Rad(heading + turnDegPerS * seconds);
        return std::hypot(speedKt * std::sin(h) + windKt, speedKt * std::cos(h));
    }
};

// Guards against projecting along the nose in a straight line: turns, wind and taxiing were
// read degrees off, and a turn of long ago was carried on.
TEST(FeedProjection, FollowsTheTrackAndTurnOfHisOwnFixesForAtMostAMinute)
{
    const struct {
        const char* what;
        Flight flight;
        int fixes; // 15 s apart, the last the position read
        std::int64_t ageMs, movedMs;
        const char* note;
    } cases[] = {
        {"straight, the nose 18 degrees off the track",
         {0, 300, 0, 100},
         2,
         30'000,
         30'000,
         "position 30 s old, projected"},
        {"turning 3 degrees a second", {0, 250, 3}, 3, 30'000, 30'000, "position 30 s old, projected"},
        {"turning in a 40 kt wind", {300, 250, -3, 40}, 2, 30'000, 30'000, "position 30 s old, projected"},
        {"turning slowly in a 60 kt wind", {30, 180, 1, 60}, 2, 45'000, 45'000, "position 45 s old, projected"},
        {"taxiing, for 15 s at most", {180, 20, 0}, 2, 30'000, 15'000, "position 30 s old, projected 15 s"},
        {"one fix: along the nose", {90, 300, 0}, 1, 30'000, 30'000, "position 30 s old, projected along the heading"},
        {"one fix, taxiing", {90, 20, 0}, 1, 30'000, 0, "position 30 s old"},
        {"standing", {90, 0, 0}, 3, 30'000, 0, "position 30 s old"},
        {"straight: at most a minute", {0, 300, 0}, 3, 90'000, 60'000, "position 90 s old, projected 60 s"},
        {"turning, over a minute old", {0, 250, 3}, 3, 80'000, 0, "position 80 s old, not projected: in a turn"},
        {"a time in the future counts as now", {0, 300, 0}, 2, -5000, 0, "position 0 s old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Track track;
        Pilot p = At("P", 0, 0);
        for (int k = 0; k < c.fixes; ++k) {
            const Track::Fix f = c.flight.At(15.0 * k);
            p.groundSpeedKt = c.flight.GroundKt(15.0 * k);
            p.latitude = f.latitude;
            p.longitude = f.longitude;
            p.headingDeg = f.headingDeg;
            p.positionMs = kNow + f.ms;
            track.Add(p);
        }
        const Projection moved = Project(p, track, p.positionMs + c.ageMs);
        const Track::Fix truth =
            c.flight.At(static_cast<double>(std::int64_t{15'000} * (c.fixes - 1) + c.movedMs) / 1000);
        EXPECT_LT(gonio::Posdist(moved.latitude, moved.longitude, truth.latitude, truth.longitude) + 0.0, 0.02);
        EXPECT_EQ(FixNote(moved), c.note);
    }
    // Without headings the fixes alone tell the turn, at most 6 degrees a second.
    Track fast;
    for (int k = 0; k < 3; ++k) {
        const Track::Fix f = Flight{0, 300, 10}.At(6.0 * k);
        fast.Add(Pilot{"F", f.latitude, f.longitude, {}, 300, -1, kNow + f.ms, {}});
    }
    EXPECT_EQ(EstimateMotion(
                  Pilot{"F", fast.back(0).latitude, fast.back(0).longitude, {}, 300, -1, fast.back(0).ms, {}}, fast)
                  .turnDegPerS,
              kMaxTurnDegPerS);
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

TEST(FeedSettingsTest, TheIntervalIsFifteenToThreeHundredSeconds)
{
    test::TempDir dir;
    const std::string file = dir.file("Config.ini");
    for (const auto& [text, seconds] : std::vector<std::pair<std::string, int>>{
             {"60", 60}, {"14", 15}, {"-5", 15}, {"300", 300}, {"86400", 300}, {"20.5", 15}, {"lots", 15}}) {
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
