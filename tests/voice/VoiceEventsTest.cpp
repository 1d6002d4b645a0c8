#include "voice/VoiceEvents.h"
#include "voice/VoiceSettings.h"
#include "voice/WebSocketVoiceClient.h"

#include "support/CommaLocale.h"

#include <gtest/gtest.h>

using namespace quadrantel;
using namespace quadrantel::voice;
using Kind = VoiceEvent::Kind;
using RuleKind = FrequencyRule::Kind;

namespace {

std::vector<std::int64_t> Listed(const std::string& text)
{
    const auto rule = ParseFrequencyRule(text);
    return rule ? rule->kHz : std::vector<std::int64_t>{-1};
}

} // namespace

TEST(VoiceEvents, ReadsWhatItKnowsAndIgnoresTheRest)
{
    const VoiceEvent b = ParseVoiceEvent(
        R"({"type":"kRxBegin","value":{"callsign":"DLH123","pFrequencyHz":1,"activeTransmitters":["DLH123",7,"","BAW1"]}})");
    ASSERT_TRUE(b.activeTransmitters);
    EXPECT_EQ(*b.activeTransmitters, (std::vector<std::string>{"DLH123", "BAW1"})); // non-texts dropped
    const VoiceEvent e =
        ParseVoiceEvent(R"({"value":{"callsign":"X1","pFrequencyHz":"118.7","new":1},"type":"kRxEnd"})");
    EXPECT_EQ(e.kind, Kind::RxEnd);
    EXPECT_EQ(e.frequencyHz, 0); // wrong type reads as not given
    EXPECT_FALSE(e.activeTransmitters);

    const QByteArray longCall(static_cast<qsizetype>(kMaxCallsign) + 1, 'A');
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
        EXPECT_EQ(ParseVoiceEvent(awkward).kind, Kind::Ignored);
    }
}

TEST(FrequencyRule, ReadsTheSameUnderADecimalComma)
{
    const test::CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "scripts/install-deps generates de_DE.UTF-8";
    EXPECT_EQ(Listed("118.700 121.8"), (std::vector<std::int64_t>{118700, 121800}));
}

TEST(FrequencyRule, TakesOnlyAirBandFrequencies)
{
    EXPECT_EQ(Listed("108.000 136.975"), (std::vector<std::int64_t>{108000, 136975}));
    // A decimal comma is refused whole, not read as two frequencies.
    for (const char* text : {"107.995", "136.980", "118,700", "121,8", "118..7", "118.", "abc", "TXX"}) {
        SCOPED_TRACE(text);
        std::string bad;
        EXPECT_FALSE(ParseFrequencyRule(text, &bad));
        EXPECT_EQ(bad, text);
    }
}

TEST(FrequencyRule, ListsMegahertzRoundedToTheKilohertz)
{
    EXPECT_EQ(Listed(" 118.700, 121.8;118.7  131.005,121.900"),
              (std::vector<std::int64_t>{118700, 121800, 131005, 121900}));
    for (const auto& [hz, listed] : {std::pair{118700000, true}, {118699600, true}, {118705000, false}, {0, false}}) {
        SCOPED_TRACE(hz);
        EXPECT_EQ(FrequencyListed({118700}, hz), listed);
    }
    EXPECT_TRUE(FrequencyListed({}, 0));
}

TEST(FrequencyRule, TxTheTransmitFrequenciesAndBlankEveryReceivedOne)
{
    EXPECT_EQ(ParseFrequencyRule(" tx ")->kind, RuleKind::Transmit);
    EXPECT_EQ(ParseFrequencyRule("118.700")->kind, RuleKind::Listed);
    EXPECT_EQ(ParseFrequencyRule("")->kind, RuleKind::Received);
    EXPECT_EQ(ParseFrequencyRule(" , ")->kind, RuleKind::Received);
}

// Hand-edited nonsense: better every frequency than none.
TEST(VoiceSettings, AnUnreadableFrequencyRuleCountsEveryReceivedFrequency)
{
    const WebSocketOptions options = WebSocketOptionsFrom({true, kDefaultVoiceURL, "118,700"});
    EXPECT_EQ(options.frequencies.kind, RuleKind::Received);
}
