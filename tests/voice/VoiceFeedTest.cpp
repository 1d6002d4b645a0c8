#include "voice/VoiceFeed.h"
#include "voice/FeedVoiceClient.h"

#include "support/CommaLocale.h"

#include <gtest/gtest.h>

using namespace quadrantel;
using namespace quadrantel::voice;
using Kind = FeedEvent::Kind;

TEST(FeedParser, ReadsWhatItKnowsAndIgnoresTheRest)
{
    const FeedEvent b = ParseFeedFrame(
        R"({"type":"kRxBegin","value":{"callsign":"DLH123","pFrequencyHz":1,"activeTransmitters":["DLH123",7,"","BAW1"]}})");
    ASSERT_TRUE(b.activeTransmitters);
    EXPECT_EQ(*b.activeTransmitters, (std::vector<std::string>{"DLH123", "BAW1"})); // non-texts dropped
    const FeedEvent e = ParseFeedFrame(R"({"value":{"callsign":"X1","pFrequencyHz":"118.7","new":1},"type":"kRxEnd"})");
    EXPECT_EQ(e.kind, Kind::RxEnd);
    EXPECT_EQ(e.frequencyHz, 0); // wrong type reads as not given
    EXPECT_FALSE(e.activeTransmitters);

    const QByteArray longCall(static_cast<qsizetype>(kMaxFeedCallsign) + 1, 'A');
    for (const QByteArray& awkward :
         {QByteArray(), QByteArray("not json"), QByteArray("[1,2]"),
          QByteArray(R"({"type":"kRxBegin","value":{"callsign":null,"pFrequencyHz":1}})"),
          QByteArray(R"({"type":"kRxBegin","value":{"callsign":"  ","pFrequencyHz":1}})"),
          R"({"type":"kRxBegin","value":{"callsign":")" + longCall + R"(","pFrequencyHz":1}})",
          QByteArray(R"({"type":"kRxBegin","value":{"callsign":"A"})"),
          QByteArray(R"({"type":"kVoiceConnectedState","value":{"connected":"yes"}})"),
          QByteArray(R"({"type":"kStationStates","value":{"stations":{}}})"),
          QByteArray(R"({"type":"kStationStateUpdate","value":{"callsign":"EDDF_TWR"}})"),
          QByteArray(R"({"type":"kFrequencyRemoved","value":{"frequency":"118.7"}})"),
          QByteArray(R"({"type":"kSomethingNew","value":{"callsign":"DLH123"}})")}) {
        SCOPED_TRACE(awkward.toStdString());
        EXPECT_EQ(ParseFeedFrame(awkward).kind, Kind::Ignored);
    }
}

TEST(FeedParser, FrequencyListsReadTheSameUnderADecimalComma)
{
    const test::CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "scripts/install-deps generates de_DE.UTF-8";
    EXPECT_EQ(ParseFrequencyList("118.700 121.8"), (std::vector<std::int64_t>{118700, 121800}));
}

TEST(FeedParser, OnlyAirBandFrequenciesAreTaken)
{
    EXPECT_EQ(ParseFrequencyList("108.000 136.975"), (std::vector<std::int64_t>{108000, 136975}));
    // A decimal comma is refused whole, not read as two frequencies.
    for (const char* text : {"107.995", "136.980", "118,700", "121,8", "118..7", "118.", "abc", "TX"}) {
        SCOPED_TRACE(text);
        std::string bad;
        EXPECT_FALSE(ParseFrequencyList(text, &bad));
        EXPECT_EQ(bad, text);
    }
}

TEST(FeedParser, FrequencyListsInMegahertz)
{
    EXPECT_EQ(ParseFrequencyList(" 118.700, 121.8;118.7  131.005,121.900"),
              (std::vector<std::int64_t>{118700, 121800, 131005, 121900}));
    EXPECT_EQ(ParseFrequencyList(""), std::vector<std::int64_t>{});
    // Rounded to the nearest kHz.
    for (const auto& [hz, listed] : {std::pair{118700000, true}, {118699600, true}, {118705000, false}, {0, false}}) {
        SCOPED_TRACE(hz);
        EXPECT_EQ(FrequencyListed({118700}, hz), listed);
    }
    EXPECT_TRUE(FrequencyListed({}, 0));
}

TEST(FeedSettings, VoiceFrequenciesChooseAListTheTransmitFrequenciesOrAll)
{
    EXPECT_TRUE(FeedOptionsFrom({true, kDefaultVoiceURL, " tx "}).transmitFrequencies);
    const FeedOptions listed = FeedOptionsFrom({true, kDefaultVoiceURL, "118.700"});
    EXPECT_FALSE(listed.transmitFrequencies);
    EXPECT_EQ(listed.frequenciesKHz, std::vector<std::int64_t>{118700});
    // Hand-edited nonsense: better every frequency than none.
    EXPECT_TRUE(FeedOptionsFrom({true, kDefaultVoiceURL, "118,700"}).frequenciesKHz.empty());
}
