#include "feed/FeedParser.h"

#include "TestPaths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quadrantel::feed {
namespace {

constexpr std::int64_t kFileTime = 1796668215'000; // 2026-12-07T18:30:15Z

struct Parsed {
    bool ok = false;
    Snapshot snapshot;
    std::string error;
};

Parsed ParseText(const std::string& json)
{
    static FeedParser parser; // reused, as the source reuses it
    Parsed p;
    p.ok = parser.Parse(json, p.snapshot, p.error);
    return p;
}

std::vector<std::string> Callsigns(const Snapshot& s)
{
    std::vector<std::string> out;
    for (const Pilot& p : s.pilots)
        out.push_back(p.callsign);
    return out;
}

// A layout-A file holding these pilot entries.
std::string FileA(const std::string& pilots)
{
    return R"({"general":{"update_timestamp":"2026-12-07T18:30:15Z"},"pilots":[)" + pilots + R"(],"controllers":[]})";
}

TEST(FeedParser, LayoutAGivesEveryPilotAndNothingElse)
{
    const Parsed p = ParseText(test::ReadFile(QUADRANTEL_TEST_DATA_DIR "/feed-layout-a.json"));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.snapshot.layout, Layout::A);
    EXPECT_EQ(p.snapshot.updatedMs, kFileTime + 482);
    ASSERT_EQ(Callsigns(p.snapshot), (std::vector<std::string>{"DLH4AB", "N123AB"}));
    const Pilot& a = p.snapshot.pilots[0];
    EXPECT_DOUBLE_EQ(a.latitude, 50.51234);
    EXPECT_DOUBLE_EQ(a.longitude, 8.98765);
    EXPECT_EQ(a.altitudeFt, 35012);
    EXPECT_EQ(a.groundSpeedKt, 452);
    EXPECT_EQ(a.headingDeg, 87);
    EXPECT_EQ(a.squawk, "2341");
    EXPECT_EQ(a.positionMs, kFileTime - 6000 + 120);
    EXPECT_EQ(p.snapshot.pilots[1].positionMs, kFileTime - 13000);
}

TEST(FeedParser, LayoutBTakesTheLastTrackAndSkipsAPilotWithout)
{
    const Parsed p = ParseText(test::ReadFile(QUADRANTEL_TEST_DATA_DIR "/feed-layout-b.json"));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.snapshot.layout, Layout::B);
    EXPECT_EQ(p.snapshot.updatedMs, kFileTime + 480);
    ASSERT_EQ(Callsigns(p.snapshot), std::vector<std::string>{"AFR12K"});
    EXPECT_EQ(p.snapshot.skipped, 1u);
    const Pilot& a = p.snapshot.pilots[0];
    EXPECT_DOUBLE_EQ(a.latitude, 48.7);
    EXPECT_EQ(a.groundSpeedKt, 410);
    EXPECT_EQ(a.headingDeg, 312);
    EXPECT_EQ(a.squawk, "0421");
    EXPECT_EQ(a.positionMs, kFileTime - 4000 + 123);
}

TEST(FeedParser, AnAwkwardEntryIsSkippedAndTheOthersKept)
{
    const char* bad[] = {
        R"({"callsign":"X1","latitude":null,"longitude":8,"altitude":1000})",
        R"({"callsign":"X3","latitude":0,"longitude":0,"altitude":1000})",
        R"({"callsign":"X4","longitude":8,"altitude":1000})",
        R"({"callsign":42,"latitude":50,"longitude":8,"altitude":1000})",
        R"({"callsign":"X 6","latitude":50,"longitude":8,"altitude":1000})",
        R"({"callsign":"X7","latitude":91,"longitude":8,"altitude":1000})",
        R"("X8")",
    };
    const std::string good = R"({"callsign":" OK1 ","latitude":50,"longitude":8,"altitude":1000,"heading":null})";
    for (const char* entry : bad) {
        SCOPED_TRACE(entry);
        const Parsed p = ParseText(FileA(std::string(entry) + "," + good));
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(Callsigns(p.snapshot), std::vector<std::string>{"OK1"});
        EXPECT_EQ(p.snapshot.skipped, 1u);
    }
}

// Guards against a pilot without a usable altitude never getting a reading.
TEST(FeedParser, MissingMotionTimeAndAltitudeLeaveAPositionWithoutThem)
{
    const Parsed p = ParseText(FileA(R"({"callsign":"S1","latitude":50,"longitude":8,"altitude":null,
        "groundspeed":"fast","heading":-90,"last_updated":"yesterday"},
        {"callsign":"S2","latitude":50,"longitude":8},{"callsign":"S3","latitude":50,"longitude":8,"altitude":"FL350"})"));
    ASSERT_EQ(Callsigns(p.snapshot), (std::vector<std::string>{"S1", "S2", "S3"}));
    const Pilot& s = p.snapshot.pilots[0];
    EXPECT_LT(s.groundSpeedKt, 0);
    EXPECT_EQ(s.headingDeg, 270);
    EXPECT_EQ(s.positionMs, 0);
    for (const Pilot& each : p.snapshot.pilots)
        EXPECT_FALSE(each.altitudeFt) << each.callsign;
}

// Guards against one odd byte refusing the whole file, after which every pilot expired.
TEST(FeedParser, OddBytesCostOnlyTheEntryThatNeedsThem)
{
    const std::string good = "{\"callsign\":\"OK1\",\"latitude\":50,\"longitude\":8,\"remarks\":\"caf\xC3\xA9\"}";
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> pilots;
    } cases[] = {
        {"a byte-order mark", "\xEF\xBB\xBF" + FileA(good), {"OK1"}},
        {"no UTF-8 in a field never read",
         FileA("{\"callsign\":\"OK2\",\"latitude\":50,\"longitude\":8,\"remarks\":\"\xFF\xC0\xAF\"}," + good),
         {"OK2", "OK1"}},
        {"no UTF-8 in a callsign",
         FileA("{\"callsign\":\"B\xED\xA0\x80\",\"latitude\":50,\"longitude\":8}," + good),
         {"OK1"}},
        {"a raw control character in a callsign",
         FileA("{\"callsign\":\"B\tD\",\"latitude\":50,\"longitude\":8}," + good),
         {"OK1"}},
        {"a lone surrogate in a callsign",
         FileA(R"({"callsign":"BAD\ud800","latitude":50,"longitude":8},)" + good),
         {"OK1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed p = ParseText(c.text);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(Callsigns(p.snapshot), c.pilots);
    }
}

// Guards against "neither layout; retrying" for ever when FeedURL is the network's status document.
TEST(FeedParser, TheStatusDocumentGivesTheFilesAddresses)
{
    const Parsed p = ParseText(R"({"data":{"v3":["https://a.example/f.json","https://b.example/f.json"],
        "servers":["https://a.example/s.json"]},"user":["https://a.example/u"]})");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.snapshot.layout, Layout::Status);
    EXPECT_EQ(p.snapshot.addresses, (std::vector<std::string>{"https://a.example/f.json", "https://b.example/f.json"}));
}

TEST(FeedParser, ADuplicateCallsignKeepsTheNewerPosition)
{
    const Parsed p = ParseText(
        FileA(R"({"callsign":"DUP1","latitude":51,"longitude":8,"altitude":1,"last_updated":"2026-12-07T18:30:10Z"},
                {"callsign":"dup1","latitude":52,"longitude":8,"altitude":1,"last_updated":"2026-12-07T18:29:10Z"})"));
    ASSERT_EQ(p.snapshot.pilots.size(), 1u);
    EXPECT_EQ(p.snapshot.pilots[0].latitude, 51);
}

TEST(FeedParser, AFileThatIsNoCompleteJsonOrOfNeitherLayoutIsRefusedWhole)
{
    const std::string full = FileA(R"({"callsign":"T1","latitude":50,"longitude":8,"altitude":1})");
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "not JSON"},
        {full.substr(0, full.size() - 1), "not JSON"},
        {"[1,2,3]", "not JSON"},
        {R"({"general":{},"controllers":[]})", "neither layout"},
        {R"({"clients":{"atcs":[]},"updatedAt":"2026-12-07T18:30:15Z"})", "neither layout"},
        {R"({"data":{"servers":["https://a.example/s.json"]}})", "neither layout"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Parsed p = ParseText(c.text);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.error, c.error);
        EXPECT_TRUE(p.snapshot.pilots.empty());
    }
}

} // namespace
} // namespace quadrantel::feed
