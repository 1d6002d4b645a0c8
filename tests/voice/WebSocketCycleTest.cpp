// The WebSocket voice source and the speaker cycle over it, against voice-sim's stand-in for the
// newer voice client on a local port, behaving as that client does.
#include "voice/WebSocketVoiceClient.h"

#include "EventServer.h"
#include "support/FakeClock.h"
#include "support/HttpStub.h"
#include "support/SpeakerCycle.h"
#include "support/Wait.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

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
        sim.quiet = true;
        sim.clickMs = 0;
        sim.print = false;
        options.reconnectMs = 50;
        options.watchMs = 10;
        options.pingMs = 3600 * 1000; // pings only where a test asks for them
        options.log = [this](const std::string& l) { logged.push_back(l); };
    }

    // voice-sim's client with the options the test chose, and the source as the main window
    // starts it, with a cycle over it; returns once connected and the client's answers are in.
    void Start()
    {
        Serve();
        Connect();
    }

    void Serve()
    {
        server = std::make_unique<voicesim::EventServer>(sim);
        if (!server->listen())
            throw std::runtime_error("the stand-in cannot listen");
    }

    void Connect()
    {
        options.url = "ws://127.0.0.1:" + std::to_string(server->port()) + "/ws";
        Open();
        if (!test::WaitUntil([&] { return server->newestClient() && client->State() != VoiceState::NotRunning; }))
            throw std::runtime_error("the source never connected");
        test::WaitUntil([&] { return server->requests().size() >= 2; }, 1000);
        Settle();
    }

    // Started and left to connect, or to fail to, as the test sees fit.
    void Open()
    {
        client = std::make_unique<WebSocketVoiceClient>(options, clock);
        PollOn(*client);
        client->Start({[this] { ++began; },
                       [this](const std::string& t, bool problem) { status.push_back(t + (problem ? "!" : "")); },
                       [this](const std::string& t) { notices.push_back(t); }});
    }

    // Whatever was sent before has been handled once the pong of a ping sent after it is back.
    void Settle()
    {
        QWebSocket* peer = server->newestClient();
        bool back = false;
        const auto c = QObject::connect(peer, &QWebSocket::pong, peer, [&] { back = true; });
        peer->ping();
        const bool settled = test::WaitUntil([&] { return back; });
        QObject::disconnect(c);
        if (!settled)
            throw std::runtime_error("the source stopped answering");
    }

    // A command as typed on voice-sim's input, handled by the source.
    void Tell(const std::string& line)
    {
        if (!server->command(line))
            throw std::runtime_error("voice-sim knows no " + line);
        Settle();
    }

    void Say(const char* type, const QJsonObject& value)
    {
        server->broadcast(Frame(type, value));
        Settle();
    }

    // Waits for the source's next answer from GET /transmitting.
    void Resync()
    {
        const int answers = client->TransmittingAnswers();
        if (!test::WaitUntil([&] { return client->TransmittingAnswers() > answers; }))
            throw std::runtime_error("the source did not ask who transmits");
    }

    // The client stops reading: no pong, no frame is answered any more.
    void Freeze() { server->newestSocket()->blockSignals(true); }

    void Cycle() { polling->tmrSpeakers_Timer(); }

    // The players as the speaker cycle listed them.
    std::vector<std::string> Users() const
    {
        std::vector<std::string> users;
        for (const auto& item : lstUsers.items())
            users.push_back(item.text);
        return users;
    }

    std::ptrdiff_t Asked(const char* request) const { return std::ranges::count(server->requests(), request); }

    std::ptrdiff_t LinesWith(const char* word) const
    {
        return std::ranges::count_if(logged, [&](const std::string& l) { return l.find(word) != l.npos; });
    }

    test::FakeClock clock;
    voicesim::EventOptions sim; // as the test sets them, for the next start
    std::unique_ptr<voicesim::EventServer> server;
    int began = 0;
    std::vector<std::string> status, notices, logged;
    WebSocketOptions options; // as the test sets them, for the next start
    std::unique_ptr<WebSocketVoiceClient> client;
};

} // namespace

TEST_F(WebSocketCycle, TheClientIsAskedAgainAfterAReconnect)
{
    Start();
    server->newestClient()->abort();
    EXPECT_TRUE(test::WaitUntil([&] {
        clock.advanceMs(100);
        return Asked("kGetVoiceConnectedState") == 2 && Asked("kGetStationStates") == 2;
    }));
}

TEST_F(WebSocketCycle, AnOldClientIsFollowedFromItsFrequencies)
{
    sim.oldClient = true;
    Start();
    Cycle();
    EXPECT_EQ(lblStatus.picture(), Picture::Green);
    Tell("disconnect"); // three empty lists
    Cycle();
    EXPECT_EQ(lblStatus.picture(), Picture::Blue);
    EXPECT_EQ(status.back(), "not connected to the voice network!");
}

TEST_F(WebSocketCycle, AStuckTransmissionDoesNotHideTheNextCaller)
{
    Start();
    Tell("also AFR789 122.800");
    Tell("lose");
    Tell("also DLH123 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
}

TEST_F(WebSocketCycle, AGroundStationDoesNotHideAPilot)
{
    Start();
    Tell("also DLH123 118.700");
    Tell("also EDDF_APP 118.700");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
    EXPECT_EQ(lstSpeakers.list(0), "DLH123");
}

TEST_F(WebSocketCycle, ARemovedFrequencyEndsItsTransmissionsAndItsStation)
{
    Start();
    Tell("also DLH123 121.800");
    Tell("remove 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
    polling->FillUserList();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "DLH123"}));
}

// The advisory and guard frequencies have no callsign; nobody talks as MANUAL.
TEST_F(WebSocketCycle, OnlyReceivedNamedStationsArePlayers)
{
    Start();
    Tell("add 123.450 MANUAL");
    Cycle();
    polling->FillUserList();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND"}));
}

TEST_F(WebSocketCycle, StationsAreForgottenWhileTheClientIsAway)
{
    Start();
    server->command("quit-client 60");
    ASSERT_TRUE(test::WaitUntil([&] { return client->State() == VoiceState::NotRunning; }));
    polling->FillUserList();
    EXPECT_TRUE(Users().empty());
}

TEST_F(WebSocketCycle, OneCallsignOnTwoFrequenciesEndsOnEachAlone)
{
    Start();
    Tell("also DLH123 118.700");
    Tell("also DLH123 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
    EXPECT_EQ(lstSpeakers.listCount(), 1);
    EXPECT_EQ(lblError.caption(), "DLH123 on 121.800 and 118.700 transmitting ...");
    Tell("end DLH123 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
}

TEST_F(WebSocketCycle, TransmittersTheClientReportsAreAdopted)
{
    Start();
    // DLH123 was talking before the program connected; BAW456 joins him and stops.
    Say("kRxBegin", Rx("BAW456", 118.700, {"DLH123", "BAW456"}));
    Say("kRxEnd", Rx("BAW456", 118.700, {"DLH123"}));
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
    // The list of those still heard is the truth for its frequency.
    Say("kRxEnd", Rx("AFR789", 118.700, {}));
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
}

TEST_F(WebSocketCycle, TransmitFrequenciesFollowTheClient)
{
    options.frequencies.kind = FrequencyRule::Kind::Transmit;
    Start();
    Tell("also DLH123 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
    Tell("also BAW456 118.700");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "BAW456");
    Tell("transmit 118.700 off");
    Tell("transmit 121.800 on");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
    Tell("also DLH123 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
}

TEST_F(WebSocketCycle, TheStationListIsBounded)
{
    options.maxStations = 10;
    Start();
    for (int i = 0; i < 50; ++i)
        Tell("add " + voicesim::NumberText(118.000 + i * 0.025, 3) + " X_" + std::to_string(i));
    polling->FillUserList();
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
    client->HandleFrame(Frame("kRxBegin", Rx("DLH123", 118.700)));
    EXPECT_EQ(began, 1);
    client->HandleFrame(Frame("kRxBegin", Rx("BAW456", 118.700)));
    client->HandleFrame(Frame("kRxBegin", Rx("AFR789", 118.700)));
    EXPECT_EQ(began, 1);
    ASSERT_TRUE(test::WaitUntil([&] { return began == 2; }));
    test::RunEventsFor(50);
    EXPECT_EQ(began, 2);
}

TEST_F(WebSocketCycle, PlayersAreTheStationsThenTheLatestHeard)
{
    Start();
    client->HandleFrame(R"({"type":"kStationStates","value":{"stations":[
        {"type":"kStationStateUpdate","value":{"callsign":"EDDF_TWR","frequency":118700000}},
        {"type":"kOther","value":{"callsign":"NOPE","frequency":1}}, 5]}})");
    client->HandleFrame(Frame("kRxBegin", Rx("DLH123", 118.700)));
    clock.advanceMs(1);
    client->HandleFrame(Frame("kRxBegin", Rx("BAW456", 118.700)));
    EXPECT_TRUE(client->PlayersChanged());
    polling->FillUserList();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "BAW456", "DLH123"}));
    EXPECT_FALSE(client->PlayersChanged());
}

TEST_F(WebSocketCycle, AVolumeChangeChangesNoPlayer)
{
    Start();
    polling->FillUserList();
    Tell("volume");
    EXPECT_FALSE(client->PlayersChanged());
}

TEST_F(WebSocketCycle, NamesHeardOverFiveMinutesAgoLeaveThePlayers)
{
    Start();
    client->HandleFrame(Frame("kRxBegin", Rx("DLH123", 118.700)));
    client->HandleFrame(Frame("kRxEnd", Rx("DLH123", 118.700)));
    polling->FillUserList();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND", "DLH123"}));
    clock.advance(300);
    EXPECT_FALSE(client->PlayersChanged());
    clock.advance(1);
    EXPECT_TRUE(client->PlayersChanged());
    polling->FillUserList();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND"}));
}

TEST_F(WebSocketCycle, LeavingTheNetworkEndsEveryTransmission)
{
    Start();
    Tell("also DLH123 118.700");
    Tell("disconnect");
    const VoiceState state = client->ReadSpeakers();
    EXPECT_EQ(state, VoiceState::NotConnected);
    EXPECT_TRUE(client->Speakers().empty());
    EXPECT_EQ(status.back(), "not connected to the voice network!");
}

TEST_F(WebSocketCycle, AFloodOfNewNamesKeepsTheLatest)
{
    Start();
    for (int i = 0; i < 250; ++i) {
        clock.advanceMs(1);
        client->HandleFrame(Frame("kRxBegin", Rx(("N" + std::to_string(i)).c_str(), 118.700)));
    }
    polling->FillUserList();
    const std::vector<std::string> users = Users();
    ASSERT_EQ(users.size(), 202u); // the two stations first
    EXPECT_EQ(users[2], "N249");
    EXPECT_EQ(users.back(), "N50");
    EXPECT_EQ(client->OpenTransmissions(), 200u);
}

TEST_F(WebSocketCycle, OtherFrequenciesAreNotEvenListed)
{
    options.frequencies = {FrequencyRule::Kind::Listed, {118700, 121800}};
    Start();
    Tell("also ELSE1 122.800");
    Tell("also DLH123 121.800");
    EXPECT_EQ(began, 1);
    polling->FillUserList();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND", "DLH123"}));
}

TEST_F(WebSocketCycle, AnOversizedFrameEndsTheConnectionAndTheRetriesStayQuiet)
{
    Start();
    Tell("also DLH123 121.800");
    const int port = server->port();
    server->newestClient()->sendTextMessage(QString(static_cast<qsizetype>(kMaxEventFrameBytes) + 1, QChar('x')));
    ASSERT_TRUE(test::WaitUntil([&] { return LinesWith("connection closed") == 1; }));
    server->command("quit-client 600");
    ASSERT_TRUE(test::WaitUntil([&] { return client->State() == VoiceState::NotRunning; }));
    EXPECT_EQ(client->OpenTransmissions(), 0u);
    EXPECT_EQ(status.back(), "voice client not running!");

    // While away, every retry fails its handshake; none of them adds a line or a message.
    const std::size_t lines = logged.size();
    const std::size_t messages = status.size();
    QTcpServer refuser;
    ASSERT_TRUE(refuser.listen(QHostAddress::LocalHost, static_cast<quint16>(port)));
    int retries = 0;
    QObject::connect(&refuser, &QTcpServer::newConnection, &refuser, [&] {
        ++retries;
        delete refuser.nextPendingConnection();
    });
    ASSERT_TRUE(test::WaitUntil([&] {
        clock.advance(1);
        return retries >= 3;
    }));
    EXPECT_EQ(logged.size(), lines);
    EXPECT_EQ(status.size(), messages);
    EXPECT_EQ(LinesWith("connection closed"), 1);
}

// Peers that break the connection without closing it: a bad handshake, a client that freezes
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
    for (int attempt = 2; attempt <= 3; ++attempt) {
        test::RunEventsFor(50);
        clock.advance(4);
        test::RunEventsFor(50);
        clock.advance(1);
        ASSERT_TRUE(test::WaitUntil([&] { return stub.requests >= attempt; })) << "never tried again";
    }
    EXPECT_EQ(LinesWith("handshake"), 1);
}

TEST_F(WebSocketCycle, AFrozenClientIsDropped)
{
    options.pingMs = 5000;
    Start();
    Tell("also DLH123 118.700");
    ASSERT_EQ(client->OpenTransmissions(), 1u);
    Freeze();
    clock.advance(5); // the first ping
    test::RunEventsFor(50);
    clock.advance(5); // no pong by the second
    ASSERT_TRUE(test::WaitUntil([&] { return LinesWith("ping") == 1; })) << "not dropped";
    EXPECT_EQ(client->OpenTransmissions(), 0u);
    EXPECT_EQ(LinesWith("not running"), 0); // the reason is the one line
}

TEST_F(WebSocketCycle, APeerThatNeverReadsItsPongsIsDropped)
{
    Start();
    Freeze();
    QTcpSocket& s = *server->newestSocket();
    s.setReadBufferSize(1);
    s.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    for (int i = 0; i < 100000 && s.isOpen(); ++i)
        s.write(QByteArray("\x89\x7d") + QByteArray(125, 'p'));
    EXPECT_TRUE(test::WaitUntil([&] { return LinesWith("unsent") == 1; }, 20000)) << "not dropped";
}

// An observer, or any login before the controller clicks transmit on.
TEST_F(WebSocketCycle, WithoutATransmitFrequencyTheTransmitRuleCountsEveryReceivedOne)
{
    options.frequencies.kind = FrequencyRule::Kind::Transmit;
    sim.observer = true;
    Start();
    Tell("also DLH123 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
}

TEST_F(WebSocketCycle, ListeningToEveryReceivedFrequencyIsSaidOnce)
{
    options.frequencies.kind = FrequencyRule::Kind::Transmit;
    sim.observer = true;
    Start();
    Tell("volume");
    EXPECT_EQ(notices, std::vector<std::string>{
                           "no transmit frequency selected in the voice client: listening to all received"});
}

TEST_F(WebSocketCycle, ACallerOnATransmitFrequencyOutranksNewerOnesElsewhere)
{
    Start();
    Tell("also DLH123 118.700");
    Tell("also BAW456 121.800");
    Tell("also N123AB 122.800");
    Tell("also N456CD 121.500");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
}

TEST_F(WebSocketCycle, AStuckMicrophoneKeepsItsReadingWhileTheClientNamesHim)
{
    Start();
    Tell("talk DLH123 118.700");
    clock.advance(31);
    Cycle(); // no timer ends what the client can tell
    EXPECT_EQ(lstStrips.text(), "DLH123");
    Resync();
    clock.advance(31);
    Resync();
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
}

TEST_F(WebSocketCycle, AnEndTheClientNeverSentIsTakenFromWhoItSaysTransmits)
{
    Start();
    Tell("also DLH123 118.700");
    Tell("lose");
    clock.advance(11);
    Resync();
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
}

// Only a client that answers neither frames nor GET /transmitting has its transmissions capped;
// the clock set back guards against a start ahead of now keeping one open for good.
TEST_F(WebSocketCycle, ATransmissionLastsThirtySecondsFromWhenTheClientLastNamedHim)
{
    Start();
    Tell("also DLH123 118.700");
    Tell("hang 600");
    clock.advance(-3600);
    test::RunEventsFor(30);
    clock.advance(11);
    ASSERT_TRUE(test::WaitUntil([&] { return Asked("GET /transmitting") == 2; }));
    client->HandleFrame(Frame("kRxEnd", Rx("BAW456", 118.700, {"DLH123"})));
    clock.advance(30);
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
    clock.advance(1);
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
}

TEST_F(WebSocketCycle, ATransmissionEndedByTheCapIsNamedOnTheMessageLine)
{
    Start();
    Tell("also DLH123 118.700");
    Tell("hang 600");
    clock.advance(11);
    ASSERT_TRUE(test::WaitUntil([&] { return Asked("GET /transmitting") == 2; }));
    clock.advance(20);
    Cycle();
    EXPECT_EQ(notices, std::vector<std::string>{"DLH123 on 118.700: no end heard within 30 s, taken as ended"});
}

// A newer caller who lets go must not bring back an older one whose end was lost.
// The answer may have been written before a caller keyed up: it does not end him.
TEST_F(WebSocketCycle, ACallerNewerThanTheQuestionOutlivesItsAnswer)
{
    Start();
    Tell("also DLH123 118.700");
    Tell("hang 600");
    clock.advance(11);
    ASSERT_TRUE(test::WaitUntil([&] { return Asked("GET /transmitting") == 2; }));
    clock.advanceMs(1);
    client->HandleFrame(Frame("kRxBegin", Rx("BAW456", 121.800, {"BAW456"})));
    server->command("hang 0");
    Resync();
    EXPECT_EQ(client->OpenTransmissions(), 2u);
}

TEST_F(WebSocketCycle, AnOldClientsTransmitListChoosesTheFrequencies)
{
    options.frequencies.kind = FrequencyRule::Kind::Transmit;
    sim.oldClient = true;
    Start();
    Tell("also DLH123 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
}

TEST_F(WebSocketCycle, AnOutrankedTransmissionIsNotShownAgainUntilConfirmed)
{
    Start();
    Tell("also AFR789 121.800");
    Tell("lose");
    Tell("also DLH123 118.700");
    Cycle();
    Tell("end DLH123");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
}

TEST_F(WebSocketCycle, AnOutrankedCallerStillTalkingComesBackOnceConfirmed)
{
    Start();
    Tell("also AFR789 121.800");
    Tell("also DLH123 118.700");
    Cycle();
    Tell("end DLH123");
    Resync();
    Cycle();
    EXPECT_EQ(lstStrips.text(), "AFR789");
}

TEST_F(WebSocketCycle, AReKeyKeepsTheCallersPlace)
{
    Start();
    Tell("also AFR789 121.800");
    Tell("also DLH123 122.800");
    Tell("rekey AFR789");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
}

TEST_F(WebSocketCycle, ADuplicatedBeginKeepsTheCallersPlace)
{
    Start();
    Tell("also AFR789 121.800");
    Tell("also DLH123 122.800");
    Tell("again AFR789");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "DLH123");
}

TEST_F(WebSocketCycle, AKeyUpHalfASecondAfterAnEndIsANewCall)
{
    Start();
    Tell("also AFR789 121.800");
    Tell("also DLH123 122.800");
    Tell("end AFR789");
    clock.advanceMs(500);
    Tell("also AFR789 121.800");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "AFR789");
}

TEST_F(WebSocketCycle, AnAddressWithoutAPathReachesTheWebSocket)
{
    Serve();
    options.url = "ws://127.0.0.1:" + std::to_string(server->port());
    Open();
    EXPECT_TRUE(test::WaitUntil([&] { return client->State() == VoiceState::Connected; }));
}

TEST_F(WebSocketCycle, APlainHttpAnswerSaysWhereTheWebSocketIs)
{
    Serve();
    const std::string address = "ws://127.0.0.1:" + std::to_string(server->port());
    options.url = address + "/events";
    Open();
    ASSERT_TRUE(test::WaitUntil([&] { return !status.empty(); }));
    EXPECT_EQ(status[0], "the voice client answered at this address but not as a WebSocket: use " + address + "/ws!");
}

TEST_F(WebSocketCycle, AGroundStationStillTalkingLeavesTheReadingToTheSilenceRule)
{
    Start();
    Tell("also DLH123 118.700");
    Cycle();
    Tell("also EDDF_ATIS 121.800");
    Tell("end DLH123");
    Cycle();
    EXPECT_EQ(cleared, 0);
}

TEST_F(WebSocketCycle, AnEmptyListFromAClientThatToldItsStateIsNothingReceived)
{
    sim.clickMs = -1; // nothing received yet: every list is empty
    Start();
    Tell("volume");
    Cycle();
    EXPECT_EQ(lblStatus.picture(), Picture::Green);
}

// At every voice connect the stations start off: the first list is empty, then the state comes.
TEST_F(WebSocketCycle, AnEmptyListBeforeTheClientToldItsStateSaysNothing)
{
    sim.clickMs = -1;
    Start();
    EXPECT_EQ(status, std::vector<std::string>{"connected to the voice network"});
}

TEST_F(WebSocketCycle, APilotAlreadyTalkingWhenTheSourceConnectsIsShown)
{
    Serve();
    server->command("click");
    server->command("talk DLH123 118.700");
    Connect();
    EXPECT_TRUE(test::WaitUntil([&] {
        Cycle();
        return lstStrips.text() == "DLH123";
    }));
}

TEST_F(WebSocketCycle, AnOldClientThatDropsAFrequencyEndsItsTransmissions)
{
    sim.oldClient = true;
    Start();
    Tell("also DLH123 121.800");
    Tell("receive 121.800 off");
    Cycle();
    EXPECT_EQ(lstStrips.text(), "");
}

// A hung client still answers pings: only its own state can say it is gone.
TEST_F(WebSocketCycle, AClientThatPongsButSendsNothingStaysConnected)
{
    Start();
    Tell("hang 600");
    for (int i = 0; i < 12; ++i) {
        clock.advance(5);
        Settle();
    }
    const VoiceState state = client->ReadSpeakers();
    EXPECT_EQ(state, VoiceState::Connected);
}

TEST_F(WebSocketCycle, AnUpgradeAnswerWithoutEndIsGivenUpPastAFewKilobytes)
{
    QByteArray head = "HTTP/1.1 101 Switching Protocols";
    while (head.size() < qsizetype(64) * 1024)
        head += "\r\nX-Padding: 0123456789";
    test::HttpStub stub([&](const QByteArray&) { return test::HttpStub::Answer{head, "", true}; });
    options.url = stub.url("/ws", "ws").toString().toStdString();
    Open();
    EXPECT_TRUE(test::WaitUntil([&] { return LinesWith("bytes") == 1; }));
}

TEST_F(WebSocketCycle, AnUpgradeThatDoesNotProveTheKeyIsRefused)
{
    test::HttpStub stub([](const QByteArray&) {
        return test::HttpStub::Answer{"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: "
                                      "Upgrade\r\nSec-WebSocket-Accept: c29tZXRoaW5nIGVsc2U=\r\n",
                                      "", true};
    });
    options.url = stub.url("/ws", "ws").toString().toStdString();
    Open();
    EXPECT_TRUE(test::WaitUntil([&] { return LinesWith("no WebSocket handshake") == 1; }));
}

TEST_F(WebSocketCycle, AClientThatAnswersNothingIsSaidToBeOffTheNetworkAfterASecond)
{
    sim.silent = true;
    Start();
    const std::vector<std::string> before = status;
    clock.advance(1);
    ASSERT_TRUE(test::WaitUntil([&] { return !status.empty(); }));
    EXPECT_TRUE(before.empty());
    EXPECT_EQ(status.back(), "not connected to the voice network!");
}

TEST_F(WebSocketCycle, RetriesBackOffToThirtySeconds)
{
    test::HttpStub stub([](const QByteArray&) {
        return test::HttpStub::Answer{"HTTP/1.1 101 Switching Protocols\r\nX: 1", "", true};
    });
    options.reconnectMs = 20000;
    options.url = stub.url("/ws", "ws").toString().toStdString();
    Open();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        ASSERT_TRUE(test::WaitUntil([&] { return stub.requests == attempt; }));
        clock.advance(4); // past the handshake's deadline
        test::RunEventsFor(30);
        clock.advance(29);
        test::RunEventsFor(30);
        ASSERT_EQ(stub.requests, attempt) << "retried too soon";
        clock.advance(1);
    }
}

TEST_F(WebSocketCycle, ABadVoiceUrlIsNeverTried)
{
    Serve();
    options.url = "http://127.0.0.1:" + std::to_string(server->port()) + "/ws";
    Open();
    clock.advance(60);
    test::RunEventsFor(100);
    EXPECT_EQ(server->connections(), 0);
}

TEST_F(WebSocketCycle, TheMessageLineNamesUpToThreeCallers)
{
    Start();
    Tell("also KLM12 121.800");
    Tell("also BAW456 121.800");
    Tell("also AFR789 118.700");
    Tell("also DLH123 118.700");
    Cycle();
    EXPECT_EQ(lblError.caption(), "DLH123 on 118.700, AFR789 on 118.700, BAW456 on 121.800 transmitting ...");
}
