// Peers that break the feed's connection without closing it: a bad handshake, a client that
// hangs after it, one that floods pings and never reads the pongs. A WebSocket server on the
// test's own thread always answers, so these peers hold the TCP socket under it.
#include "voice/FeedVoiceClient.h"

#include "support/FakeClock.h"
#include "support/Wait.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace quadrantel;
using namespace quadrantel::voice;

namespace {

QByteArray Upgrade(const QByteArray& acceptKey)
{
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           acceptKey + "\r\n\r\n";
}

// Answers each upgrade request with what the test sets, or with a real handshake when it sets
// nothing, and keeps every connection open.
class RawPeer {
public:
    QTcpServer server;
    QWebSocketServer handshaker{"client", QWebSocketServer::NonSecureMode};
    std::function<QByteArray(const QByteArray& request)> answer;
    std::vector<QPointer<QTcpSocket>> sockets; // children of the server, or of the handshaker's client
    std::unique_ptr<QWebSocket> client;

    // The client stops reading: no pong, no frame is answered any more.
    void hang() { sockets.back()->blockSignals(true); }

    RawPeer()
    {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            sockets.emplace_back(server.nextPendingConnection());
            QTcpSocket* s = sockets.back();
            if (!answer) {
                handshaker.handleConnection(s);
                return;
            }
            auto request = std::make_shared<QByteArray>();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, request] {
                if (request->endsWith("\r\n\r\n"))
                    return;
                *request += s->readAll();
                if (request->endsWith("\r\n\r\n"))
                    s->write(answer(*request));
            });
        });
        QObject::connect(&handshaker, &QWebSocketServer::newConnection, &handshaker,
                         [this] { client.reset(handshaker.nextPendingConnection()); });
    }
    std::string url() const { return "ws://127.0.0.1:" + std::to_string(server.serverPort()) + "/ws"; }
};

class FeedHeartbeat : public ::testing::Test {
protected:
    void Start()
    {
        FeedOptions o;
        o.url = peer.url();
        o.reconnectMs = 20;
        o.watchMs = 10;
        o.log = [this](const std::string& l) { logged.push_back(l); };
        feed = std::make_unique<FeedVoiceClient>(std::move(o), clock);
        feed->Start({[] {}, [](const std::string&, bool) {}});
    }

    std::size_t LinesWith(const char* word) const
    {
        return static_cast<std::size_t>(
            std::count_if(logged.begin(), logged.end(), [&](const std::string& l) { return l.find(word) != l.npos; }));
    }

    test::FakeClock clock;
    RawPeer peer;
    std::vector<std::string> logged;
    std::unique_ptr<FeedVoiceClient> feed;
};

} // namespace

TEST_F(FeedHeartbeat, ABadHandshakeIsGivenUpAfterItsDeadlineAndRetriedQuietly)
{
    const std::vector<std::pair<const char*, std::function<QByteArray(const QByteArray&)>>> answers{
        {"not found", [](const QByteArray&) { return QByteArray("HTTP/1.1 404 Not Found\r\n\r\n"); }},
        {"wrong key", [](const QByteArray&) { return Upgrade("AAAAAAAAAAAAAAAAAAAAAAAAAAA="); }},
        {"garbage", [](const QByteArray&) { return QByteArray("\x01\x02 nonsense\r\n"); }},
        {"nothing", [](const QByteArray&) { return QByteArray(); }},
        {"endless headers",
         [](const QByteArray&) { return QByteArray("HTTP/1.1 101 Switching Protocols\r\nX: 1\r\n"); }},
    };
    for (const auto& [name, answer] : answers) {
        SCOPED_TRACE(name);
        logged.clear();
        peer.sockets.clear();
        peer.answer = answer;
        Start();
        ASSERT_TRUE(test::WaitUntil([&] { return !peer.sockets.empty(); }));
        clock.advance(4);
        ASSERT_TRUE(test::WaitUntil([&] { return peer.sockets.size() >= 2; })) << "never tried again";
        clock.advance(4);
        ASSERT_TRUE(test::WaitUntil([&] { return peer.sockets.size() >= 3; }));
        EXPECT_EQ(LinesWith("handshake"), 1u);
        feed.reset();
    }
}

TEST_F(FeedHeartbeat, AClientThatStopsAnsweringPingsIsDropped)
{
    Start();
    ASSERT_TRUE(test::WaitUntil([&] { return peer.client != nullptr; }));
    peer.client->sendTextMessage(R"({"type":"kRxBegin","value":{"callsign":"DLH123","pFrequencyHz":118700000}})");
    ASSERT_TRUE(test::WaitUntil([&] { return feed->OpenTransmissions() == 1; }));
    peer.hang();
    clock.advance(5); // the first ping
    test::RunEventsFor(50);
    clock.advance(5); // no pong by the second
    ASSERT_TRUE(test::WaitUntil([&] { return peer.sockets.size() >= 2; })) << "not dropped";
    EXPECT_EQ(feed->OpenTransmissions(), 0u);
    EXPECT_EQ(LinesWith("ping"), 1u);
    EXPECT_EQ(LinesWith("not running"), 0u); // the reason is the one line
}

TEST_F(FeedHeartbeat, APeerThatNeverReadsItsPongsIsDropped)
{
    Start();
    ASSERT_TRUE(test::WaitUntil([&] { return peer.client != nullptr; }));
    peer.hang();
    QTcpSocket& s = *peer.sockets.back();
    s.setReadBufferSize(1);
    s.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    for (int i = 0; i < 100000 && s.isOpen(); ++i)
        s.write(QByteArray("\x89\x7d") + QByteArray(125, 'p'));
    ASSERT_TRUE(test::WaitUntil([&] { return peer.sockets.size() >= 2; }, 20000)) << "not dropped";
    EXPECT_EQ(LinesWith("unsent"), 1u);
}
