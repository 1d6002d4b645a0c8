#include "link/LinkData.h"

#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"
#include "shell/TextRoutines.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quadrantel::link {
namespace {

using namespace std::string_literals;

class LinkDataTest : public ::testing::Test {
protected:
    std::vector<std::string> Strips(std::string_view block, std::string selected = {})
    {
        auto list = data.Elabora(block, [&] { return selected; });
        return list ? list->callsigns : std::vector<std::string>{"<no rebuild>"};
    }
    double Altitude(const char* callsign) const { return table.Record(callsign)->altitudeFt.value_or(-1); }

    test::FakeClock clock;
    std::vector<std::string> dumps; // what each call of the dump got
    traffic::TrafficTable table{clock, clock.now()};
    LinkData data{table, clock, [this](std::string_view lines) { dumps.emplace_back(lines); }};
};

TEST_F(LinkDataTest, LineSplitAcrossBlocksIsStoredWhenItsLineEndArrives)
{
    (void)data.Elabora("@N:ABC123:7");
    EXPECT_FALSE(table.Contains("ABC123"));

    (void)data.Elabora(":0:52.5:13.4:3500:250\r\n");
    ASSERT_TRUE(table.Contains("abc123"));
    EXPECT_EQ(Altitude("ABC123"), 3500);
    EXPECT_EQ(dumps, std::vector<std::string>{"@N:ABC123:7:0:52.5:13.4:3500:250\r\n"});

    // An unended line is kept up to the cap, and dropped one byte past it.
    (void)data.Elabora(std::string(kMaxPendingLine, 'z'));
    EXPECT_EQ(data.sRest().size(), kMaxPendingLine);
    (void)data.Elabora("z");
    EXPECT_TRUE(data.sRest().empty());
}

TEST_F(LinkDataTest, FramingRemovesLfsKeepsLoneCrsAndSkipsEmptyLines)
{
    for (const char* block :
         {"@X:A\nB:1:1:1:2:1200\r\n\r\n\n\n\r\n%a\rb\r\n \r", "\n@N:CR:1\r", "\n#end\n", "\r\n", "\n\n"})
        (void)data.Elabora(block);
    EXPECT_EQ(Altitude("AB"), 1200);
    // One write per block that has lines, none for the last.
    EXPECT_EQ(dumps, (std::vector<std::string>{"@X:AB:1:1:1:2:1200\r\n%a\rb\r\n", " \r\n", "@N:CR:1\r\n", "#end\r\n"}));
    (void)data.Elabora(" @N:SPACE:1\r\n%N:PCT:1\r\n=x\r\n#AA:BB\r\n"); // only "@" lines are positions
    EXPECT_EQ(table.colTraffic().size(), 2u);
}

TEST(PositionLine, FieldsAreReadByTheirPlaceAndAMissingOneIsUnknown)
{
    traffic::Position p;
    ParsePositionLine("@N:DLH123:1234:abc:48.1:-11.5:35000:250:9:10:x", 7, p);
    EXPECT_EQ(p.longitude, -11.5);
    EXPECT_EQ(p.speedKt, 250);
    ParsePositionLine("@N:SHORT:7", 8, p); // reused: nothing of the last line stays
    EXPECT_EQ(p.callsign, "SHORT");
    EXPECT_EQ(p.latitude, 0);
    EXPECT_FALSE(p.altitudeFt);
    EXPECT_FALSE(p.speedKt);
}

TEST_F(LinkDataTest, KeysIgnoreCaseAndAnUpdateMovesTheAircraftLast)
{
    EXPECT_EQ(Strips("@N:abc:1\r\n@N:XYZ:2\r\n@N:Def:3\r\n"), (std::vector<std::string>{"abc", "XYZ", "Def"}));
    clock.advance(11);
    EXPECT_EQ(Strips("@N:ABC:4:0:0:0:4\r\n@N:xyz:5\r\n"), (std::vector<std::string>{"Def", "ABC", "xyz"}));
    EXPECT_EQ(Altitude("aBc"), 4);
    EXPECT_EQ(table.LastSeen("XYZ"), 11);
    for (int c = 0; c < 256; ++c) // keys fold as the rest of the program compares text
        ASSERT_EQ(traffic::NoCaseKey::Fold(static_cast<char>(c)),
                  static_cast<unsigned char>(platform::UpperChar(static_cast<char>(c))));
}

TEST_F(LinkDataTest, RebuildsAtMostEvery11SecondsAndReselectsTheExactCallsign)
{
    EXPECT_EQ(Strips("@N:AAA:1\r\n"), (std::vector<std::string>{"AAA"})); // the first block rebuilds
    clock.advance(10);
    EXPECT_FALSE(data.Elabora("@N:BBB:1\r\n"));
    clock.advance(1);
    auto list = data.Elabora("", [] { return "BBB  selected"s; });
    ASSERT_TRUE(list);
    EXPECT_EQ(*list, (traffic::StripList{{"AAA", "BBB"}, 1}));
    clock.advance(11);
    EXPECT_EQ(data.Elabora("", [] { return "bbb"s; })->reselect, std::nullopt);
}

TEST_F(LinkDataTest, ClockSetBackRebuildsWithTheNextBlock)
{
    clock.advance(100);
    (void)data.Elabora("@N:OLD:1\r\n");
    clock.advance(-3600);
    auto list = data.Elabora("");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->callsigns, (std::vector<std::string>{"OLD"})); // seen "in the future": counted from now
    EXPECT_EQ(table.LastRefresh(), -3500);
    // Guards against a silent aircraft staying for the step plus 50 s.
    clock.advance(51);
    (void)data.Elabora("");
    EXPECT_FALSE(table.Contains("OLD"));
}

// The daily dump holds every line when Elabora returns; a dropped line is logged.
TEST_F(LinkDataTest, AnUnendedLineIsCappedAndReadingResumesAfterTheNextLineEnd)
{
    test::TempDir dir;
    shell::globals().sDataFolder = dir.path();
    shell::globals().bDebug = true;
    shell::SetLogClock(&clock);
    LinkData dumping(table, clock);
    const std::string chunk(std::size_t{40} * 1024, 'z');
    (void)dumping.Elabora("@N:A:1\r\n" + chunk);
    EXPECT_EQ(test::ReadFile(dir.file("Dump_20240131.TXT")), "@N:A:1\r\n");
    (void)dumping.Elabora(chunk);
    (void)dumping.Elabora(chunk + "\r");
    (void)dumping.Elabora("\n@N:B:2\r\n@N:C");
    EXPECT_EQ(dumping.sRest(), "@N:C");
    shell::CloseLogFiles();
    EXPECT_EQ(test::ReadFile(dir.file("Dump_20240131.TXT")), "@N:A:1\r\n@N:B:2\r\n");
    const std::string log = test::ReadFile(dir.file("Log_20240131.TXT"));
    EXPECT_NE(log.find("12:00:00 Dropped an unfinished line"), std::string::npos) << log;
    shell::SetLogClock(nullptr);
    shell::globals() = {};
}

} // namespace
} // namespace quadrantel::link
