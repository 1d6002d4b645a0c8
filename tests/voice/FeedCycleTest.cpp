// The feed and the speaker cycle together, against a local server that speaks as the voice
// client does: on connect it sends its tuned frequencies while on the voice network, answers
// both requests to the asker, and says whatever the test tells it.
#include "voice/FeedVoiceClient.h"

#include "support/FakeClock.h"
#include "support/ScriptedRandom.h"
#include "support/Wait.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

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
    QJsonObject s{{"frequency", Hz(mhz)},
                  {"rx", rx},
                  {"tx", tx},
                  {"xc", false},
                  {"xca", false},
                  {"headset", true},
                  {"isAvailable", true},
                  {"isOutputMuted", false},
                  {"outputVolume", 100}};
    if (callsign)
        s.insert("callsign", callsign);
    return s;
}

QJsonObject Rx(const char* call, double mhz, const QStringList& active)
{
    return {{"callsign", call}, {"pFrequencyHz", Hz(mhz)}, {"activeTransmitters", QJsonArray::fromStringList(active)}};
}

class FeedCycle : public ::testing::Test {
protected:
    FeedCycle() : server("client", QWebSocketServer::NonSecureMode)
    {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QWebSocketServer::newConnection, &server, [this] { accept(); });
        for (const char* c : {"AFR789", "DLH123", "BAW456"})
            lstStrips.addItem(c);
        chkGonio.setValue(1);
    }

    void accept()
    {
        peer.reset(server.nextPendingConnection());
        ++connections;
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
    void Start(FeedOptions o = {})
    {
        o.url = "ws://127.0.0.1:" + std::to_string(server.serverPort()) + "/ws";
        o.reconnectMs = 50;
        o.watchMs = 10;
        o.burstCycleMs = 60000; // the test runs each cycle itself
        o.log = [this](const std::string& l) { logged.push_back(l); };
        feed = std::make_unique<FeedVoiceClient>(std::move(o), clock);
        polling = std::make_unique<SpeakerPolling>(
            SpeakerPolling::Controls{lstSpeakers, lstUsers, lstStrips, lblError, lblRate, imgSpeak, lblStatus, imgData,
                                     txtStatus, chkGonio, txtGonio, txtQDM, txtQDR, lblHdg, tmrStatus},
            *feed, random,
            SpeakerPolling::Hooks{
                .secondsNow = [] { return 100; }, .clearReading = [this] { ++cleared; }, .drawGauge = [](double) {}});
        feed->Start(
            {[] {}, [this](const std::string& t, bool problem) { status.push_back(t + (problem ? "!" : "")); }});
        if (!test::WaitUntil([&] { return peer && feed->State() > 0; }))
            throw std::runtime_error("the feed never connected");
        test::WaitUntil([&] { return asked.size() >= 2; }, 1000);
        Settle();
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
        peer->sendTextMessage(QJsonDocument(QJsonObject{{"type", type}, {"value", value}}).toJson());
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

    // One speaker cycle; returns the strip it selected.
    std::string Cycle()
    {
        polling->tmrSpeakers_Timer();
        return lstStrips.text();
    }

    std::vector<std::string> Users() const
    {
        std::vector<std::string> users;
        for (int i = 0; i < lstUsers.listCount(); ++i)
            users.push_back(lstUsers.list(i));
        return users;
    }

    test::FakeClock clock;
    QWebSocketServer server;
    std::unique_ptr<QWebSocket> peer;
    std::vector<QJsonObject> stations{Station("EDDF_TWR", 118.700, true, true), Station("EDDF_GND", 121.800)};
    bool answers = true, onNetwork = true;
    int connections = 0, cleared = 0;
    std::vector<std::string> asked, status, logged;

    platform::ListBox lstSpeakers, lstUsers, lstStrips;
    platform::Label lblError, lblRate, lblHdg;
    platform::Image imgSpeak, lblStatus, imgData;
    platform::TextBox txtStatus, txtGonio, txtQDM, txtQDR;
    platform::CheckBox chkGonio;
    platform::Timer tmrStatus{1000};
    test::ScriptedRandom random{{0.0}};
    std::unique_ptr<FeedVoiceClient> feed;
    std::unique_ptr<SpeakerPolling> polling;
};

} // namespace

TEST_F(FeedCycle, AClientAlreadyOnTheNetworkIsAskedAndShownConnected)
{
    Start();
    EXPECT_EQ(asked, (std::vector<std::string>{"kGetVoiceConnectedState", "kGetStationStates"}));
    Cycle();
    EXPECT_EQ(lblStatus.picture(), Picture::Green);
    EXPECT_EQ(status, std::vector<std::string>{"connected to the voice network"});
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND"}));

    // After a reconnect the client is asked again.
    peer->abort();
    ASSERT_TRUE(test::WaitUntil([&] { return connections == 2 && asked.size() == 4; }));
}

TEST_F(FeedCycle, AnOldClientIsFollowedFromItsFrequencies)
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

TEST_F(FeedCycle, AStuckTransmissionDoesNotHideTheNextCaller)
{
    Start();
    Say("kRxBegin", Rx("AFR789", 118.700, {"AFR789"}));
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    EXPECT_EQ(Cycle(), "DLH123");
    EXPECT_EQ(lblError.caption(), "DLH123 on 121.800 transmitting ...");
}

TEST_F(FeedCycle, ATransmissionWithoutItsEndLastsThirtySeconds)
{
    Start();
    Say("kRxBegin", Rx("AFR789", 118.700, {"AFR789"}));
    clock.advance(30);
    EXPECT_EQ(Cycle(), "AFR789");
    clock.advance(1);
    EXPECT_EQ(Cycle(), "");
    EXPECT_EQ(lstSpeakers.listCount(), 0);
}

TEST_F(FeedCycle, AGroundStationDoesNotHideAPilot)
{
    Start();
    Say("kRxBegin", Rx("EDDF_APP", 118.700, {"EDDF_APP"}));
    Say("kRxBegin", Rx("DLH123", 118.700, {"EDDF_APP", "DLH123"}));
    Say("kRxBegin", Rx("EDDF_ATIS", 121.800, {"EDDF_ATIS"}));
    EXPECT_EQ(Cycle(), "DLH123");
    EXPECT_EQ(cleared, 0);
    EXPECT_EQ(lblError.caption(), "DLH123 on 118.700 transmitting ...");
}

TEST_F(FeedCycle, ARemovedFrequencyEndsItsTransmissionsAndItsStation)
{
    Start();
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    Say("kFrequencyRemoved", {{"frequency", Hz(121.800)}});
    EXPECT_EQ(Cycle(), "");
    EXPECT_EQ(lstSpeakers.listCount(), 0);
    polling->FillUserList();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "DLH123"}));
}

// Removing a frequency begins with this update, whose kRxEnd-less transmissions end at once.
TEST_F(FeedCycle, AStationThatStopsReceivingEndsItsTransmissionsAndIsNoPlayer)
{
    Start();
    Say("kRxBegin", Rx("DLH123", 121.800, {"DLH123"}));
    Say("kStationStateUpdate", Station("EDDF_GND", 121.800, false));
    EXPECT_EQ(Cycle(), "");
    polling->FillUserList();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "DLH123"}));
}

TEST_F(FeedCycle, OnlyReceivedNamedStationsArePlayers)
{
    Start();
    Say("kStationStateUpdate", Station("MANUAL", 122.800));
    Say("kStationStateUpdate", Station(nullptr, 123.450));
    Cycle();
    EXPECT_EQ(Users(), (std::vector<std::string>{"EDDF_TWR", "EDDF_GND"}));
}

TEST_F(FeedCycle, StationsAreForgottenOnReconnectAndLearntAgain)
{
    Start();
    stations = {Station("EDDF_APP", 120.800)};
    peer->abort();
    ASSERT_TRUE(test::WaitUntil([&] { return connections == 2 && asked.size() == 4; }));
    Settle();
    polling->FillUserList();
    EXPECT_EQ(Users(), std::vector<std::string>{"EDDF_APP"});
}

TEST_F(FeedCycle, OneCallsignOnTwoFrequenciesEndsOnEachAlone)
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

TEST_F(FeedCycle, TransmittersTheClientReportsAreAdopted)
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

TEST_F(FeedCycle, TransmitFrequenciesFollowTheClient)
{
    FeedOptions o;
    o.transmitFrequencies = true;
    Start(o);
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

TEST_F(FeedCycle, TheStationListIsBounded)
{
    FeedOptions o;
    o.maxStations = 10;
    Start(o);
    for (int i = 0; i < 50; ++i)
        Say("kStationStateUpdate", Station(("X_" + std::to_string(i)).c_str(), 118.000 + i * 0.025), false);
    Settle();
    polling->FillUserList();
    ASSERT_EQ(lstUsers.listCount(), 10);
    EXPECT_EQ(lstUsers.list(9), "X_49");
}

TEST_F(FeedCycle, ABadAddressIsNamedOnceOnTheStatusLineAndInTheLog)
{
    FeedOptions o;
    o.url = "ws://[::1";
    o.log = [this](const std::string& l) { logged.push_back(l); };
    o.reconnectMs = 10;
    FeedVoiceClient bad(o, clock);
    bad.Start({[] {}, [this](const std::string& t, bool problem) { status.push_back(t + (problem ? "!" : "")); }});
    test::RunEventsFor(100);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_NE(status[0].find("ws://[::1"), std::string::npos) << status[0];
    EXPECT_EQ(logged.size(), 1u);
}
