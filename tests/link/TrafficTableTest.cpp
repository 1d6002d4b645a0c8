#include "link/TrafficTable.h"

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

class TrafficTableTest : public ::testing::Test {
protected:
    std::vector<std::string> Strips(std::string_view block, std::string selected = {})
    {
        auto list = table.Elabora(block, [&] { return selected; });
        return list ? list->callsigns : std::vector<std::string>{"<no rebuild>"};
    }

    test::FakeClock clock;
    std::vector<std::string> dumps; // what each call of the dump got
    TrafficTable table{clock, clock.now(), [this](std::string_view lines) { dumps.emplace_back(lines); }};
};

TEST_F(TrafficTableTest, LineSplitAcrossBlocksIsStoredWhenItsLineEndArrives)
{
    (void)table.Elabora("@N:ABC123:7");
    EXPECT_FALSE(table.Contains("ABC123"));

    (void)table.Elabora(":0:52.5:13.4:3500:250\r\n");
    ASSERT_TRUE(table.Contains("abc123"));
    EXPECT_EQ(*table.Field("ABC123", kFieldAltitude), "           3500");
    EXPECT_EQ(dumps, std::vector<std::string>{"@N:ABC123:7:0:52.5:13.4:3500:250\r\n"});

    // An unended line is kept up to the cap, and dropped one byte past it.
    (void)table.Elabora(std::string(kMaxPendingLine, 'z'));
    EXPECT_EQ(table.sRest().size(), kMaxPendingLine);
    (void)table.Elabora("z");
    EXPECT_TRUE(table.sRest().empty());
}

TEST_F(TrafficTableTest, AnotherSourcesAircraftIsStoredAsItsPositionLineWouldBeButNotDumped)
{
    table.Store({"ABC123", "7", "52.5", "13.4", "3500", "250"});
    EXPECT_EQ(*table.Record("ABC123"), TrafficRecord("@N:ABC123:7::52.5:13.4:3500:250"));
    EXPECT_TRUE(dumps.empty());
    EXPECT_EQ(table.Refresh({})->callsigns, std::vector<std::string>{"ABC123"});
    table.Remove("abc123");
    EXPECT_EQ(table.Refresh({}), std::nullopt) << "rebuilt again within 10 s";
    EXPECT_TRUE(table.Refresh({}, true)->callsigns.empty());
}

TEST_F(TrafficTableTest, FramingRemovesLfsKeepsLoneCrsAndSkipsEmptyLines)
{
    for (const char* block : {"@X:A\nB:1200\r\n\r\n\n\n\r\n%a\rb\r\n \r", "\n@N:CR:1\r", "\n#end\n", "\r\n", "\n\n"})
        (void)table.Elabora(block);
    EXPECT_EQ(table.Field("AB", kFieldCode), "1200");
    // One write per block that has lines, none for the last.
    EXPECT_EQ(dumps, (std::vector<std::string>{"@X:AB:1200\r\n%a\rb\r\n", " \r\n", "@N:CR:1\r\n", "#end\r\n"}));
    (void)table.Elabora(" @N:SPACE:1\r\n%N:PCT:1\r\n=x\r\n#AA:BB\r\n"); // only "@" lines are positions
    EXPECT_EQ(table.colTraffic().size(), 2u);
}

TEST(TrafficRecord, FieldsArePaddedCutAndRearranged)
{
    EXPECT_EQ(TrafficRecord("@N:DLH123:1234:abc:48.1:11.5:35000:250:9:10:x"),
              "DLH123      \t1234\t          35000\t  250\t48.1\t11.5\tabc\t9:10:x");
    EXPECT_EQ(TrafficRecord("@N:ABCDEFGHIJKLMN:7:0:1:2:12345678901234567:1234567"),
              "ABCDEFGHIJKL\t0007\t345678901234567\t34567\t1\t2\t0\t");
    EXPECT_EQ(TrafficRecord("@N:SHORT"), "SHORT       \t0000\t               \t     \t\t\t\t");
    EXPECT_EQ(TrafficRecord("@N:A:12345:r:1:2:3:4:"), "A           \t2345\t              3\t    4\t1\t2\tr\t");
}

TEST_F(TrafficTableTest, KeysIgnoreCaseAndAnUpdateMovesTheAircraftLast)
{
    EXPECT_EQ(Strips("@N:abc:1\r\n@N:XYZ:2\r\n@N:Def:3\r\n"), (std::vector<std::string>{"abc", "XYZ", "Def"}));
    clock.advance(11);
    EXPECT_EQ(Strips("@N:ABC:4\r\n@N:xyz:5\r\n"), (std::vector<std::string>{"Def", "ABC", "xyz"}));
    EXPECT_EQ(*table.Field("aBc", kFieldCode), "0004");
    EXPECT_EQ(*table.LastSeenText("XYZ"), "0000011");
    for (int c = 0; c < 256; ++c) // keys fold as the rest of the program compares text
        ASSERT_EQ(NoCaseKey::Fold(static_cast<char>(c)),
                  static_cast<unsigned char>(platform::UpperChar(static_cast<char>(c))));
    EXPECT_FALSE(table.Field("NOPE", kFieldCode));
}

TEST_F(TrafficTableTest, RebuildsAtMostEvery11SecondsAndReselectsTheExactCallsign)
{
    EXPECT_EQ(Strips("@N:AAA:1\r\n"), (std::vector<std::string>{"AAA"})); // the first block rebuilds
    clock.advance(10);
    EXPECT_FALSE(table.Elabora("@N:BBB:1\r\n"));
    clock.advance(1);
    auto list = table.Elabora("", [] { return "BBB  selected"s; });
    ASSERT_TRUE(list);
    EXPECT_EQ(*list, (StripList{{"AAA", "BBB"}, 1}));
    clock.advance(11);
    EXPECT_EQ(table.Elabora("", [] { return "bbb"s; })->reselect, std::nullopt);
}

TEST_F(TrafficTableTest, ClockSetBackRebuildsWithTheNextBlock)
{
    clock.advance(100);
    (void)table.Elabora("@N:OLD:1\r\n");
    clock.advance(-3600);
    auto list = table.Elabora("");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->callsigns, (std::vector<std::string>{"OLD"})); // seen "in the future": counted from now
    EXPECT_EQ(table.LastRefresh(), -3500);
    // Guards against a silent aircraft staying for the step plus 50 s.
    clock.advance(51);
    (void)table.Elabora("");
    EXPECT_FALSE(table.Contains("OLD"));
}

TEST(RebuildStrips, KeepsUntimedEntriesAndDropsThoseWithoutRecord)
{
    KeyedCollection<std::string> calls, traffic;
    KeyedCollection<std::int64_t> seen;
    for (const char* c : {"NOTIME", "NOREC", "EMPTY", "OK", "OLD"})
        calls.reappend(c) = c;
    for (const auto& [c, record] : {std::pair{"NOTIME", "x"}, {"EMPTY", ""}, {"OK", "x"}, {"OLD", "x"}})
        traffic.reappend(c) = record;
    for (const auto& [c, at] : {std::pair{"NOREC", 100}, {"EMPTY", 100}, {"OK", 50}, {"OLD", 49}})
        seen.reappend(c) = at;
    const StripList list = RebuildStrips(calls, traffic, seen, 100, "OK");
    EXPECT_EQ(list, (StripList{{"NOTIME", "OK"}, 1}));
    EXPECT_EQ(traffic.size(), 2u);
    EXPECT_EQ(seen.size(), 1u);
}

// The daily dump holds every line when Elabora returns; a dropped line is logged.
TEST_F(TrafficTableTest, AnUnendedLineIsCappedAndReadingResumesAfterTheNextLineEnd)
{
    test::TempDir dir;
    shell::globals().sDataFolder = dir.path();
    shell::globals().bDebug = true;
    shell::SetLogClock(&clock);
    TrafficTable dumping(clock, clock.now());
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
