#include "voice/VoiceFeed.h"
#include "voice/FeedVoiceClient.h"

#include "support/CommaLocale.h"
#include "support/FakeClock.h"
#include "support/Wait.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

using namespace quadrantel;
using namespace quadrantel::voice;
using Kind = FeedEvent::Kind;

namespace {

QByteArray Rx(const char* type, const char* call, qint64 hz, const char* active = nullptr)
{
    QByteArray f = QByteArray("{\"type\":\"") + type + "\",\"value\":{\"callsign\":\"" + call +
                   "\",\"pFrequencyHz\":" + QByteArray::number(hz);
    if (active)
        f += QByteArray(",\"activeTransmitters\":") + active;
    return f + "}}";
}

} // namespace

TEST(FeedParser, ReadsWhatItKnowsAndIgnoresTheRest)
{
    const FeedEvent b = ParseFeedFrame(Rx("kRxBegin", "DLH123", 118700000, "[\"DLH123\", 7, \"\", \"BAW1\"]"));
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
          Rx("kRxBegin", longCall.constData(), 1), QByteArray(R"({"type":"kRxBegin","value":{"callsign":"A"})"),
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

namespace {

// A local stand-in for the voice client's feed; the event source connects to it for real.
class VoiceFeedSource : public ::testing::Test {
protected:
    VoiceFeedSource() : server("test", QWebSocketServer::NonSecureMode)
    {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QWebSocketServer::newConnection, &server,
                         [this] { peer.reset(server.nextPendingConnection()); });
    }

    std::unique_ptr<FeedVoiceClient> Make(std::vector<std::int64_t> kHz = {})
    {
        FeedOptions o;
        o.url = "ws://127.0.0.1:" + std::to_string(server.serverPort()) + "/ws";
        o.frequenciesKHz = std::move(kHz);
        o.reconnectMs = 50;
        o.burstCycleMs = 1000; // far longer than a frame takes here, even on a loaded machine
        o.log = [this](const std::string& l) { logged.push_back(l); };
        auto c = std::make_unique<FeedVoiceClient>(std::move(o), clock);
        c->Start({[this] { ++began; },
                  [this](const std::string& t, bool problem) { status.push_back(t + (problem ? "!" : "")); }});
        if (!test::WaitUntil([&] { return peer && c->State() > 0; }))
            throw std::runtime_error("the feed never connected"); // fails the test, no null peer
        return c;
    }

    // The players' nicknames in list order, as the speaker cycle reads them; or only the speakers'.
    std::vector<std::string> Names(FeedVoiceClient& c, bool speaking = false)
    {
        c.ReadSpeakers();
        c.ReadPlayerList();
        std::vector<std::string> names;
        for (const PlayerInfo& p : c.Players())
            if (!speaking || std::count(c.Speakers().begin(), c.Speakers().end(), p.PlayerID))
                names.push_back(p.NickName);
        return names;
    }

    test::FakeClock clock;
    QWebSocketServer server;
    std::unique_ptr<QWebSocket> peer;
    std::vector<std::string> status, logged;
    int began = 0;
};

} // namespace

TEST_F(VoiceFeedSource, ABurstOfBeginsRunsTheCycleOnceNowAndOnceLater)
{
    auto c = Make();
    c->HandleFrame(Rx("kRxBegin", "DLH123", 118700000));
    EXPECT_EQ(began, 1);
    c->HandleFrame(Rx("kRxBegin", "BAW456", 118700000));
    c->HandleFrame(Rx("kRxBegin", "AFR789", 118700000));
    EXPECT_EQ(began, 1);
    ASSERT_TRUE(test::WaitUntil([&] { return began == 2; }));
    test::RunEventsFor(50);
    EXPECT_EQ(began, 2);
}

TEST_F(VoiceFeedSource, PlayersAreTheStationsThenTheLatestHeard)
{
    auto c = Make();
    c->HandleFrame(R"({"type":"kStationStates","value":{"stations":[
        {"type":"kStationStateUpdate","value":{"callsign":"EDDF_TWR","frequency":118700000}},
        {"type":"kOther","value":{"callsign":"NOPE","frequency":1}}, 5]}})");
    c->HandleFrame(Rx("kRxBegin", "DLH123", 118700000));
    clock.advanceMs(1);
    c->HandleFrame(Rx("kRxBegin", "BAW456", 118700000));
    EXPECT_TRUE(c->PlayersChanged());
    EXPECT_EQ(Names(*c), (std::vector<std::string>{"EDDF_TWR", "BAW456", "DLH123"}));
    EXPECT_FALSE(c->PlayersChanged());
    // A volume change is a station update too; it changes no player.
    c->HandleFrame(R"({"type":"kStationStateUpdate","value":{"callsign":"EDDF_TWR","frequency":118700000,
        "outputVolume":40}})");
    EXPECT_FALSE(c->PlayersChanged());
}

TEST_F(VoiceFeedSource, NamesHeardOverFiveMinutesAgoLeaveThePlayers)
{
    auto c = Make();
    c->HandleFrame(Rx("kRxBegin", "DLH123", 118700000));
    c->HandleFrame(Rx("kRxEnd", "DLH123", 118700000));
    EXPECT_EQ(Names(*c), std::vector<std::string>{"DLH123"});
    clock.advance(300);
    EXPECT_FALSE(c->PlayersChanged());
    clock.advance(1);
    EXPECT_TRUE(c->PlayersChanged());
    EXPECT_TRUE(Names(*c).empty());
}

TEST_F(VoiceFeedSource, AClockSetBackDoesNotKeepATransmissionOpen)
{
    auto c = Make();
    c->HandleFrame(Rx("kRxBegin", "AFR789", 118700000));
    clock.advance(-3600); // its start now lies an hour ahead
    EXPECT_EQ(Names(*c, true), std::vector<std::string>{"AFR789"});
    clock.advance(31);
    EXPECT_TRUE(Names(*c, true).empty());
}

TEST_F(VoiceFeedSource, LeavingTheNetworkEndsEveryTransmission)
{
    auto c = Make();
    c->HandleFrame(Rx("kRxBegin", "DLH123", 118700000));
    EXPECT_EQ(c->ReadSpeakers(), 2);
    c->HandleFrame(R"({"type":"kVoiceConnectedState","value":{"connected":false}})");
    EXPECT_EQ(c->ReadSpeakers(), 1);
    EXPECT_TRUE(c->Speakers().empty());
    EXPECT_EQ(status.back(), "not connected to the voice network!");
}

TEST_F(VoiceFeedSource, AFloodOfNewNamesKeepsTheLatest)
{
    auto c = Make();
    for (int i = 0; i < 250; ++i) {
        clock.advanceMs(1);
        c->HandleFrame(Rx("kRxBegin", ("N" + std::to_string(i)).c_str(), 118700000));
    }
    const std::vector<std::string> names = Names(*c);
    ASSERT_EQ(names.size(), 200u);
    EXPECT_EQ(names.front(), "N249");
    EXPECT_EQ(names.back(), "N50");
    EXPECT_EQ(c->OpenTransmissions(), 200u);
}

TEST_F(VoiceFeedSource, OtherFrequenciesAreNotEvenListed)
{
    auto c = Make({118700, 121800});
    c->HandleFrame(Rx("kRxBegin", "ELSE1", 124350000));
    c->HandleFrame(Rx("kRxBegin", "DLH123", 121800000));
    EXPECT_EQ(began, 1);
    EXPECT_EQ(Names(*c), std::vector<std::string>{"DLH123"});
}

TEST_F(VoiceFeedSource, AnOversizedFrameEndsTheConnectionAndTheRetriesStayQuiet)
{
    auto c = Make();
    c->HandleFrame(Rx("kRxBegin", "DLH123", 121800000));
    const quint16 port = server.serverPort();
    server.close();
    peer->sendTextMessage(QString(static_cast<qsizetype>(kMaxFeedFrameBytes) + 1, QChar('x')));
    ASSERT_TRUE(test::WaitUntil([&] { return c->State() == 0; }));
    EXPECT_TRUE(Names(*c, true).empty());
    EXPECT_EQ(status.back(), "voice client not running!");

    // While away, every retry fails its handshake; none of them adds a line or a message.
    const std::size_t lines = logged.size();
    const std::size_t messages = status.size();
    QTcpServer refuser;
    ASSERT_TRUE(refuser.listen(QHostAddress::LocalHost, port));
    int retries = 0;
    QObject::connect(&refuser, &QTcpServer::newConnection, &refuser, [&] {
        ++retries;
        delete refuser.nextPendingConnection();
    });
    ASSERT_TRUE(test::WaitUntil([&] { return retries >= 3; }));
    EXPECT_EQ(logged.size(), lines);
    EXPECT_EQ(status.size(), messages);
    EXPECT_EQ(std::ranges::count_if(logged, [](auto& l) { return l.find("connection closed") != l.npos; }), 1);
    refuser.close();

    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    ASSERT_TRUE(test::WaitUntil([&] { return c->State() == 1; }));
    clock.advance(1); // a client that tells nothing is off the network
    ASSERT_TRUE(test::WaitUntil([&] { return logged.size() == lines + 1; }));
    EXPECT_EQ(status.back(), "not connected to the voice network!");
}
