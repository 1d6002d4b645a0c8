// The voice feed source and the speaker cycle over it, against a local server that speaks as
// the voice client does: on connect it sends its tuned frequencies while on the voice network,
// answers both requests to the asker, and says whatever the test tells it.
#include "voice/WebSocketVoiceClient.h"

#include "support/FakeClock.h"
#include "support/HttpStub.h"
#include "support/SpeakerCycle.h"
#include "support/Wait.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quadrantel;
using namespace quadrantel::voice;
using platform::Picture;

namespace {

qint64 Hz(double mhz)
{
    return std::llround(mhz * 1000) * 1000;
}

QJsonObject Station(const char* callsign, double mhz, bool rx = true, bool tx = false)
{
    QJsonObject s{{"frequency", Hz(mhz)}, {"rx", rx}, {"tx", tx}};
    if (callsign)
        s.insert("callsign", callsign);
    return s;
}

QJsonObject Rx(const char* call, double mhz)
{
    return {{"callsign", call}, {"pFrequencyHz", Hz(mhz)}};
}

QJsonObject Rx(const char* call, double mhz, const QStringList& active)
{
    QJsonObject rx = Rx(call, mhz);
    rx.insert("activeTransmitters", QJsonArray::fromStringList(active));
    return rx;
}

QByteArray Frame(const char* type, const QJsonObject& value)
{
    return QJsonDocument(QJsonObject{{"type", type}, {"value", value}}).toJson();
}

class WebSocketCycle : public ::testing::Test, protected test::SpeakerCycle {
protected:
    WebSocketCycle()
    {
        // The test holds the TCP socket under each WebSocket, so that it can stop reading it: a
        // WebSocket server on the test's own thread always answers.
        EXPECT_TRUE(tcp.listen(QHostAddress::LocalHost));
        QObject::connect(&tcp, &QTcpServer::newConnection, &tcp, [this] {
            sockets.emplace_back(tcp.nextPendingConnection());
            server.handleConnection(sockets.back());
        });
        QObject::connect(&server, &QWebSocketServer::newConnection, &server, [this] { accept(); });
        options.reconnectMs = 50;
        options.watchMs = 10;
        options.log = [this](const std::string& l) { logged.push_back(l); };
    }

    void accept()
    {
        peer.reset(server.nextPendingConnection());
        QObject::connect(peer.get(), &QWebSocket::textMessageReceived, peer.get(), [this](const QString& text) {
            const QString type = QJsonDocument::fromJson(text.toUtf8()).object().value("type").toString();
            asked.push_back(type.toStdString());
            if (!answers)
                return;
            if (type == "kGetVoiceConnectedState")
                Say("kVoiceConnectedState", {{"connected", onNetwork}}, false);
            if (type == "kGetStationStates") {
                QJsonArray list;
                for (const QJsonObject& s : stations)
                    list.append(QJsonObject{{"type", "kStationStateUpdate"}, {"value", s}});
                Say("kStationStates", {{"stations", list}}, false);
            }
        });
        if (onNetwork)
            SayFrequencies(stations, false);
    }

    // The source as the main window starts it, with a cycle over it; returns once connected
    // and, where the peer answers, once both requests were answered.
    void Start()
    {
        options.url = "ws://127.0.0.1:" + std::to_string(tcp.serverPort()) + "/ws";
        Open();
        if (!test::WaitUntil([&] { return peer && feed->State() != VoiceState::NotRunning; }))
            throw std::runtime_error("the feed never connected");
        test::WaitUntil([&] { return asked.size() >= 2; }, 1000);
        Settle();
    }

    // Started and left to connect, or to fail to, as the test sees fit.
    void Open()
    {
        feed = std::make_unique<WebSocketVoiceClient>(options, clock);
        PollOn(*feed);
        feed->Start({[this] { ++began; },
                     [this](const std::string& t, bool problem) { status.push_back(t + (problem ? "!" : "")); },
                     [this](const std::string& t) { notices.push_back(t); }});
    }

    // Whatever was sent before has been handled once the pong of a ping sent after it is back.
    void Settle()
    {
        bool back = false;
        const auto c = QObject::connect(peer.get(), &QWebSocket::pong, peer.get(), [&] { back = true; });
        peer->ping();
        const bool settled = test::WaitUntil([&] { return back; });
        QObject::disconnect(c);
        if (!settled)
            throw std::runtime_error("the feed stopped answering");
    }

    void Say(const char* type, const QJsonObject& value, bool settle = true)
    {
        peer->sendTextMessage(Frame(type, value));
        if (settle)
            Settle();
    }

    void SayFrequencies(const std::vector<QJsonObject>& tuned, bool settle = true)
    {
        QJsonArray rx, tx;
        for (const QJsonObject& s : tuned) {
            const QJsonObject f{{"pFrequencyHz", s.value("frequency")}, {"pCallsign", s.value("callsign")}};
            rx.append(f);
            if (s.value("tx").toBool())
                tx.append(f);
        }
        Say("kFrequencyStateUpdate", {{"rx", rx}, {"tx", tx}, {"xc", QJsonArray()}}, settle);
    }

    // The client stops reading: no pong, no frame is answered any more.
    void hang() { sockets.back()->blockSignals(true); }

    // One speaker cycle; returns the strip it selected.
    std::string Cycle()
    {
        polling->tmrSpeakers_Timer();
        return lstStrips.text();
    }

    // The players as the speaker cycle lists them.
    std::vector<std::string> Users()
    {
        polling->FillUserList();
        std::vector<std::string> users;
        for (const auto& item : lstUsers.items())
            users.push_back(item.text);
        return users;
    }

    std::ptrdiff_t LinesWith(const char* word) const
    {
        return std::ranges::count_if(logged, [&](const std::string& l) { return l.find(word) != l.npos; });
    }

    test::FakeClock clock;
    QTcpServer tcp;
    QWebSocketServer server{"client", QWebSocketServer::NonSecureMode};
    std::vector<QPointer<QTcpSocket>> sockets; // children of the server, then of their WebSocket
    std::unique_ptr<QWebSocket> peer;
    std::vector<QJsonObject> stations{Station("EDDF_TWR", 118.700, true, true), Station("EDDF_GND", 121.800)};
    bool answers = true, onNetwork = true;
    int began = 0;
    std::vector<std::string> asked, status, notices, logged;
    WebSocketOptions options; // as the test sets them, for the next start
    std::unique_ptr<WebSocketVoiceClient> feed;
};

} // namespace

TEST_F(WebSocketCycle, AClientAlreadyOnTheNetworkIsAskedAndShownConnected)
{
    Start();
    EXPECT_EQ(asked, (std::vector<std::string>{"kGetVoiceConnectedState", "kGetStationStates"}));
    Cycle();
    EXPECT_EQ(lblStatus.picture(), Picture::Green);
    EXPECT_EQ(status, std::vector<std::string>{"connected to the voice network"});

    // After a reconnect the client is asked again.
    peer->abort();
    ASSERT_TRUE(test::WaitUntil([&] { return sockets.size() == 2 && asked.size() == 4; }));
}

TEST_F(WebSocketCycle, AnOldClientIsFollowedFromItsFrequencies)
{
    answers = false;
    Start();
    Cycle();
    EXPECT_EQ(lblStatus.picture(), Picture::Green);
    // Pressing Disconnect in the client: three empty lists.
    SayFrequencies({});
    Cycle();
    EXPECT_EQ(lblStatus.picture(), Picture::Blue);
    EXPECT_EQ(status.back(), "not connected to the voice network!");
}

TEST_F(WebSocketCycle, AStuckTransmissionDoesNotHideTheNextCaller)
{
    Start();
    Say("kRxBegin", Rx("AFR789", 118.700, {"AFR789"}));
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    EXPECT_EQ(Cycle(), "DLH123");
    EXPECT_EQ(lblError.caption(), "DLH123 on 121.800 transmitting ...");
}

// The clock set back guards against a start that lies ahead keeping a transmission open for good.
TEST_F(WebSocketCycle, ATransmissionWithoutItsEndLastsThirtySecondsFromWhenItWasLastSeenStarted)
{
    Start();
    Say("kRxBegin", Rx("AFR789", 118.700, {"AFR789"}));
    clock.advance(-3600);
    EXPECT_EQ(Cycle(), "AFR789");
    clock.advance(30);
    EXPECT_EQ(Cycle(), "AFR789");
    clock.advance(1);
    EXPECT_EQ(Cycle(), "");
}

TEST_F(WebSocketCycle, AGroundStationDoesNotHideAPilot)
{
    Start();
    Say("kRxBegin", Rx("EDDF_APP", 118.700, {"EDDF_APP"}));
    Say("kRxBegin", Rx("DLH123", 118.700, {"EDDF_APP", "DLH123"}));
    Say("kRxBegin", Rx("EDDF_ATIS", 121.800, {"EDDF_ATIS"}));
    EXPECT_EQ(Cycle(), "DLH123");
    EXPECT_EQ(cleared, 0);
}

TEST_F(WebSocketCycle, ARemovedFrequencyEndsItsTransmissionsAndItsStation)
{
    Start();
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    Say("kFrequencyRemoved", {{"frequency", Hz(121.800)}});
    EXPECT_EQ(Cycle(), "");
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "DLH123"}));
}

// Removing a frequency begins with this update, whose kRxEnd-less transmissions end at once.
TEST_F(WebSocketCycle, AStationThatStopsReceivingEndsItsTransmissionsAndIsNoPlayer)
{
    Start();
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    Say("kStationStateUpdate", Station("EDDF_GND", 121.800, false));
    EXPECT_EQ(Cycle(), "");
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "DLH123"}));
}

TEST_F(WebSocketCycle, OnlyReceivedNamedStationsArePlayers)
{
    Start();
    Say("kStationStateUpdate", Station("MANUAL", 122.800));
    Say("kStationStateUpdate", Station(nullptr, 123.450));
    Cycle();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND"}));
}

TEST_F(WebSocketCycle, StationsAreForgottenWhileTheClientIsAway)
{
    Start();
    tcp.close();
    peer->abort();
    ASSERT_TRUE(test::WaitUntil([&] { return feed->State() == VoiceState::NotRunning; }));
    EXPECT_TRUE(Users().empty());
}

TEST_F(WebSocketCycle, OneCallsignOnTwoFrequenciesEndsOnEachAlone)
{
    Start();
    Say("kRxBegin", Rx("DLH123", 118.700, {"DLH123"}));
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    EXPECT_EQ(Cycle(), "DLH123");
    EXPECT_EQ(lstSpeakers.listCount(), 1);
    EXPECT_EQ(lblError.caption(), "DLH123 on 121.800 and 118.700 transmitting ...");
    Say("kRxEnd", Rx("DLH123", 121.800, {}));
    EXPECT_EQ(Cycle(), "DLH123");
}

TEST_F(WebSocketCycle, TransmittersTheClientReportsAreAdopted)
{
    Start();
    // DLH123 was talking before the program connected; BAW456 joins him and stops.
    Say("kRxBegin", Rx("BAW456", 118.700, {"DLH123", "BAW456"}));
    Say("kRxEnd", Rx("BAW456", 118.700, {"DLH123"}));
    EXPECT_EQ(Cycle(), "DLH123");
    // The list of those still heard is the truth for its frequency.
    Say("kRxEnd", Rx("AFR789", 118.700, {}));
    EXPECT_EQ(Cycle(), "");
}

TEST_F(WebSocketCycle, TransmitFrequenciesFollowTheClient)
{
    options.frequencies.kind = FrequencyRule::Kind::Transmit;
    Start();
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    EXPECT_EQ(Cycle(), "");
    Say("kRxBegin", Rx("BAW456", 118.700, {"BAW456"}));
    EXPECT_EQ(Cycle(), "BAW456");
    // Transmit moved from the tower to the ground frequency.
    Say("kStationStateUpdate", Station("EDDF_TWR", 118.700, true, false));
    Say("kStationStateUpdate", Station("EDDF_GND", 121.800, true, true));
    EXPECT_EQ(Cycle(), "");
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    EXPECT_EQ(Cycle(), "DLH123");
}

TEST_F(WebSocketCycle, TheStationListIsBounded)
{
    options.maxStations = 10;
    Start();
    for (int i = 0; i < 50; ++i)
        Say("kStationStateUpdate", Station(("X_" + std::to_string(i)).c_str(), 118.000 + i * 0.025), false);
    Settle();
    const std::vector<std::string> users = Users();
    ASSERT_EQ(users.size(), 10u);
    EXPECT_EQ(users.back(), "X_49");
}

TEST_F(WebSocketCycle, ABadAddressIsNamedOnceOnTheStatusLineAndInTheLog)
{
    options.url = "ws://[::1";
    Open();
    test::RunEventsFor(100);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_NE(status[0].find("ws://[::1"), std::string::npos) << status[0];
    EXPECT_EQ(logged.size(), 1u);
}

TEST_F(WebSocketCycle, ABurstOfBeginsRunsTheCycleOnceNowAndOnceLater)
{
    options.burstCycleMs = 1000; // far longer than a frame takes here, even on a loaded machine
    Start();
    feed->HandleFrame(Frame("kRxBegin", Rx("DLH123", 118.700)));
    EXPECT_EQ(began, 1);
    feed->HandleFrame(Frame("kRxBegin", Rx("BAW456", 118.700)));
    feed->HandleFrame(Frame("kRxBegin", Rx("AFR789", 118.700)));
    EXPECT_EQ(began, 1);
    ASSERT_TRUE(test::WaitUntil([&] { return began == 2; }));
    test::RunEventsFor(50);
    EXPECT_EQ(began, 2);
}

TEST_F(WebSocketCycle, PlayersAreTheStationsThenTheLatestHeard)
{
    Start();
    feed->HandleFrame(R"({"type":"kStationStates","value":{"stations":[
        {"type":"kStationStateUpdate","value":{"callsign":"EDDF_TWR","frequency":118700000}},
        {"type":"kOther","value":{"callsign":"NOPE","frequency":1}}, 5]}})");
    feed->HandleFrame(Frame("kRxBegin", Rx("DLH123", 118.700)));
    clock.advanceMs(1);
    feed->HandleFrame(Frame("kRxBegin", Rx("BAW456", 118.700)));
    EXPECT_TRUE(feed->PlayersChanged());
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "BAW456", "DLH123"}));
    EXPECT_FALSE(feed->PlayersChanged());
    // A volume change is a station update too; it changes no player.
    feed->HandleFrame(R"({"type":"kStationStateUpdate","value":{"callsign":"EDDF_TWR","frequency":118700000,
        "outputVolume":40}})");
    EXPECT_FALSE(feed->PlayersChanged());
}

TEST_F(WebSocketCycle, NamesHeardOverFiveMinutesAgoLeaveThePlayers)
{
    Start();
    feed->HandleFrame(Frame("kRxBegin", Rx("DLH123", 118.700)));
    feed->HandleFrame(Frame("kRxEnd", Rx("DLH123", 118.700)));
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND", "DLH123"}));
    clock.advance(300);
    EXPECT_FALSE(feed->PlayersChanged());
    clock.advance(1);
    EXPECT_TRUE(feed->PlayersChanged());
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND"}));
}

TEST_F(WebSocketCycle, LeavingTheNetworkEndsEveryTransmission)
{
    onNetwork = false; // whoever is heard, the client is on the network
    Start();
    feed->HandleFrame(Frame("kRxBegin", Rx("DLH123", 118.700)));
    EXPECT_EQ(feed->ReadSpeakers(), VoiceState::Connected);
    feed->HandleFrame(Frame("kVoiceConnectedState", {{"connected", false}}));
    EXPECT_EQ(feed->ReadSpeakers(), VoiceState::NotConnected);
    EXPECT_TRUE(feed->Speakers().empty());
    EXPECT_EQ(status.back(), "not connected to the voice network!");
}

TEST_F(WebSocketCycle, AFloodOfNewNamesKeepsTheLatest)
{
    Start();
    for (int i = 0; i < 250; ++i) {
        clock.advanceMs(1);
        feed->HandleFrame(Frame("kRxBegin", Rx(("N" + std::to_string(i)).c_str(), 118.700)));
    }
    const std::vector<std::string> users = Users();
    ASSERT_EQ(users.size(), 202u); // the two stations first
    EXPECT_EQ(users[2], "N249");
    EXPECT_EQ(users.back(), "N50");
    EXPECT_EQ(feed->OpenTransmissions(), 200u);
}

TEST_F(WebSocketCycle, OtherFrequenciesAreNotEvenListed)
{
    options.frequencies = {FrequencyRule::Kind::Listed, {118700, 121800}};
    Start();
    feed->HandleFrame(Frame("kRxBegin", Rx("ELSE1", 124.350)));
    feed->HandleFrame(Frame("kRxBegin", Rx("DLH123", 121.800)));
    EXPECT_EQ(began, 1);
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND", "DLH123"}));
}

TEST_F(WebSocketCycle, AnOversizedFrameEndsTheConnectionAndTheRetriesStayQuiet)
{
    Start();
    feed->HandleFrame(Frame("kRxBegin", Rx("DLH123", 121.800)));
    const quint16 port = tcp.serverPort();
    tcp.close();
    peer->sendTextMessage(QString(static_cast<qsizetype>(kMaxEventFrameBytes) + 1, QChar('x')));
    ASSERT_TRUE(test::WaitUntil([&] { return feed->State() == VoiceState::NotRunning; }));
    EXPECT_EQ(feed->OpenTransmissions(), 0u);
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
    EXPECT_EQ(LinesWith("connection closed"), 1);
}

// Peers that break the connection without closing it: a bad handshake, a client that hangs
// after it, one that floods pings and never reads the pongs.
TEST_F(WebSocketCycle, ABadHandshakeIsGivenUpAfterItsDeadlineAndRetriedQuietly)
{
    // Headers without end: Qt would wait for the rest for good.
    test::HttpStub stub([](const QByteArray&) {
        return test::HttpStub::Answer{"HTTP/1.1 101 Switching Protocols\r\nX: 1", "", true};
    });
    options.url = stub.url("/ws", "ws").toString().toStdString();
    Open();
    ASSERT_TRUE(test::WaitUntil([&] { return stub.requests == 1; }));
    clock.advance(-3600); // the deadline counts from when the clock was set back
    test::RunEventsFor(50);
    clock.advance(4);
    ASSERT_TRUE(test::WaitUntil([&] { return stub.requests >= 2; })) << "never tried again";
    clock.advance(4);
    ASSERT_TRUE(test::WaitUntil([&] { return stub.requests >= 3; }));
    EXPECT_EQ(LinesWith("handshake"), 1);
}

TEST_F(WebSocketCycle, AClientThatStopsAnsweringPingsIsDropped)
{
    Start();
    Say("kRxBegin", Rx("DLH123", 118.700));
    ASSERT_EQ(feed->OpenTransmissions(), 1u);
    hang();
    clock.advance(5); // the first ping
    test::RunEventsFor(50);
    clock.advance(5); // no pong by the second
    ASSERT_TRUE(test::WaitUntil([&] { return sockets.size() >= 2; })) << "not dropped";
    EXPECT_EQ(feed->OpenTransmissions(), 0u);
    EXPECT_EQ(LinesWith("ping"), 1);
    EXPECT_EQ(LinesWith("not running"), 0); // the reason is the one line
}

TEST_F(WebSocketCycle, APeerThatNeverReadsItsPongsIsDropped)
{
    Start();
    hang();
    QTcpSocket& s = *sockets.back();
    s.setReadBufferSize(1);
    s.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    for (int i = 0; i < 100000 && s.isOpen(); ++i)
        s.write(QByteArray("\x89\x7d") + QByteArray(125, 'p'));
    ASSERT_TRUE(test::WaitUntil([&] { return sockets.size() >= 2; }, 20000)) << "not dropped";
    EXPECT_EQ(LinesWith("unsent"), 1);
}
