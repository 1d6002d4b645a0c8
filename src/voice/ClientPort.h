#pragma once

#include <QByteArray>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>

class QTcpSocket;

namespace quadrantel::platform {
class Random;
}

// The newer voice client's port as a listener reaches it: the WebSocket of its events, and
// plain HTTP requests beside it. Every answer is read up to a bound, on the window's thread:
// a peer that sends without end costs a few KiB, never the window's time.
namespace quadrantel::voice {

// The head of an HTTP answer: its status, and one header's value by name (any case).
struct HttpHead {
    int status = 0;
    QByteArray headers; // as received, lines separated by CR LF
    QByteArray value(const QByteArray& name) const;
};
// The head ending at `end` (the empty line's first byte); status 0 when it is no HTTP answer.
HttpHead ParseHttpHead(const QByteArray& bytes, qsizetype end);

// The client side of a WebSocket: the upgrade, text frames (binary ones are skipped), pings and
// pongs, the close handshake. Keeps no deadlines: its owner does.
class WebSocketLink {
public:
    enum class Failure {
        None,         // closed by either side, or the connection lost
        AnswerTooBig, // the upgrade answer did not end within its bound
        NotWebSocket, // an HTTP answer other than the upgrade
        BadAnswer,    // no HTTP, or an upgrade that does not prove the key
        FrameTooBig,  // a message over its bound
        BadFrame,     // a frame no server may send
    };
    struct Events {
        std::function<void()> opened;
        std::function<void(const QByteArray&)> text;
        std::function<void()> pong;
        std::function<void(Failure, const HttpHead&)> closed; // once per open()
    };

    WebSocketLink(platform::Random& random, qint64 maxAnswerBytes, qint64 maxMessageBytes);
    ~WebSocketLink();
    WebSocketLink(const WebSocketLink&) = delete;
    WebSocketLink& operator=(const WebSocketLink&) = delete;

    void setEvents(Events events) { events_ = std::move(events); }
    // ws:// or wss://; whatever was open before is dropped without a word.
    void open(const QUrl& url);
    // Drops the connection; `closed` is not called.
    void abort();
    bool isOpen() const { return state_ == State::Open; }
    bool isClosed() const { return state_ == State::Closed; }
    void sendText(const QByteArray& text);
    void ping();
    qint64 bytesToWrite() const;

private:
    enum class State { Closed, Connecting, Open };

    void handshake();
    void read();
    bool readAnswer();
    bool readFrames();
    void frame(std::uint8_t opcode, const QByteArray& payload);
    void fail(Failure why, const HttpHead& head = {});

    platform::Random& random_;
    const qint64 maxAnswer_;
    const qint64 maxMessage_;
    Events events_;
    std::unique_ptr<QTcpSocket> socket_;
    State state_ = State::Closed;
    QUrl url_;
    QByteArray key_;
    QByteArray buffer_;
    QByteArray message_;
    bool inMessage_ = false;
    bool textMessage_ = false;
};

// One GET on the client's port, its answer read up to a bound; `done` runs once, with the
// status (0 when there was no answer) and the body.
class PortRequest {
public:
    using Done = std::function<void(int status, const QByteArray& body)>;
    PortRequest(const QUrl& url, qint64 maxBytes, Done done);
    ~PortRequest();
    PortRequest(const PortRequest&) = delete;
    PortRequest& operator=(const PortRequest&) = delete;

private:
    void read();
    void finish(int status, const QByteArray& body);

    const qint64 max_;
    Done done_;
    std::unique_ptr<QTcpSocket> socket_;
    QByteArray buffer_;
};

// The client's plain HTTP address beside a WebSocket address: ws:// becomes http://.
QUrl HttpAddress(const QUrl& webSocket, const QString& path);

} // namespace quadrantel::voice
