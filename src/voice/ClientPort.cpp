#include "voice/ClientPort.h"

#include "platform/Random.h"

#include <QCryptographicHash>
#include <QSslSocket>
#include <QTcpSocket>

namespace quadrantel::voice {

namespace {

constexpr const char* kAcceptSalt = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr std::uint8_t kContinuation = 0x0, kText = 0x1, kBinary = 0x2, kClose = 0x8, kPing = 0x9, kPong = 0xA;
// Reads stop here until the buffer is worked off: a peer cannot pile up more than this at once.
constexpr qint64 kReadChunk = qint64(64) * 1024;

std::unique_ptr<QTcpSocket> MakeSocket(bool tls)
{
    std::unique_ptr<QTcpSocket> s;
    if (tls)
        s = std::make_unique<QSslSocket>();
    else
        s = std::make_unique<QTcpSocket>();
    s->setReadBufferSize(kReadChunk);
    return s;
}

// Once its signals are connected.
void Connect(QTcpSocket& s, const QUrl& url, bool tls)
{
    const auto port = static_cast<quint16>(url.port(tls ? 443 : 80));
    if (tls)
        static_cast<QSslSocket&>(s).connectToHostEncrypted(url.host(), port);
    else
        s.connectToHost(url.host(), port);
}

// A socket's signals may be on the stack: it goes on the event loop, not here.
void Discard(std::unique_ptr<QTcpSocket>& socket)
{
    if (!socket)
        return;
    QObject::disconnect(socket.get(), nullptr, nullptr, nullptr);
    socket->abort();
    socket.release()->deleteLater();
}

QByteArray Target(const QUrl& url)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += "?" + url.query(QUrl::FullyEncoded).toLatin1();
    return target;
}

QByteArray HostHeader(const QUrl& url)
{
    return url.host(QUrl::FullyEncoded).toLatin1() + (url.port() > 0 ? ":" + QByteArray::number(url.port()) : "");
}

} // namespace

QByteArray HttpHead::value(const QByteArray& name) const
{
    for (const QByteArray& line : headers.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

HttpHead ParseHttpHead(const QByteArray& bytes, qsizetype end)
{
    HttpHead head;
    const qsizetype eol = bytes.indexOf("\r\n");
    const QByteArray status = bytes.left(eol < 0 || eol > end ? end : eol);
    if (!status.startsWith("HTTP/1."))
        return head;
    bool ok = false;
    const int code = status.split(' ').value(1).toInt(&ok);
    head.status = ok ? code : 0;
    if (eol >= 0 && eol < end)
        head.headers = bytes.mid(eol + 2, end - eol - 2);
    return head;
}

WebSocketLink::WebSocketLink(platform::Random& random, qint64 maxAnswerBytes, qint64 maxMessageBytes)
    : random_(random), maxAnswer_(maxAnswerBytes), maxMessage_(maxMessageBytes)
{
}

WebSocketLink::~WebSocketLink()
{
    Discard(socket_);
}

void WebSocketLink::open(const QUrl& url)
{
    abort();
    url_ = url;
    state_ = State::Connecting;
    buffer_.clear();
    message_.clear();
    inMessage_ = false;
    const bool tls = url.scheme() == "wss";
    socket_ = MakeSocket(tls);
    QTcpSocket* s = socket_.get();
    if (tls)
        QObject::connect(static_cast<QSslSocket*>(s), &QSslSocket::encrypted, s, [this] { handshake(); });
    else
        QObject::connect(s, &QTcpSocket::connected, s, [this] { handshake(); });
    QObject::connect(s, &QTcpSocket::readyRead, s, [this] { read(); });
    QObject::connect(s, &QTcpSocket::disconnected, s, [this] { fail(Failure::None); });
    QObject::connect(s, &QTcpSocket::errorOccurred, s, [this] { fail(Failure::None); });
    Connect(*s, url, tls);
}

void WebSocketLink::abort()
{
    state_ = State::Closed;
    Discard(socket_);
}

void WebSocketLink::handshake()
{
    QByteArray key(16, 0);
    for (char& c : key)
        c = static_cast<char>(static_cast<int>(random_.next() * 256));
    key_ = key.toBase64();
    socket_->write("GET " + Target(url_) + " HTTP/1.1\r\nHost: " + HostHeader(url_) +
                   "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + key_ +
                   "\r\nSec-WebSocket-Version: 13\r\n\r\n");
}

void WebSocketLink::read()
{
    // Each read takes what the socket holds; the buffer it reads into is bounded.
    while (socket_ && socket_->bytesAvailable() > 0 && state_ != State::Closed) {
        buffer_ += socket_->read(kReadChunk);
        const bool more = state_ == State::Connecting ? readAnswer() : readFrames();
        if (!more)
            return;
    }
}

// False once the link is closed.
bool WebSocketLink::readAnswer()
{
    const qsizetype end = buffer_.indexOf("\r\n\r\n");
    if ((end < 0 ? buffer_.size() : end) > maxAnswer_) {
        fail(Failure::AnswerTooBig);
        return false;
    }
    if (end < 0)
        return true;
    const HttpHead head = ParseHttpHead(buffer_, end);
    if (head.status != 101) {
        fail(head.status == 0 ? Failure::BadAnswer : Failure::NotWebSocket, head);
        return false;
    }
    const QByteArray accept = QCryptographicHash::hash(key_ + kAcceptSalt, QCryptographicHash::Sha1).toBase64();
    if (head.value("Sec-WebSocket-Accept") != accept) {
        fail(Failure::BadAnswer, head);
        return false;
    }
    buffer_.remove(0, end + 4);
    state_ = State::Open;
    if (events_.opened)
        events_.opened();
    return state_ == State::Open && readFrames();
}

// Every whole frame in the buffer; false once the link is closed.
bool WebSocketLink::readFrames()
{
    qsizetype at = 0;
    const auto byte = [&](qsizetype i) { return static_cast<std::uint8_t>(buffer_[at + i]); };
    while (state_ == State::Open && buffer_.size() - at >= 2) {
        const bool fin = byte(0) & 0x80;
        const std::uint8_t opcode = byte(0) & 0x0F;
        std::uint64_t length = byte(1) & 0x7F;
        qsizetype header = 2;
        if (length == 126 || length == 127) {
            header = length == 126 ? 4 : 10;
            if (buffer_.size() - at < header)
                break;
            length = 0;
            for (qsizetype i = 2; i < header; ++i)
                length = length << 8 | byte(i);
        }
        const bool control = opcode & 0x8;
        // Servers never mask, use no extension bits, and keep control frames short and whole.
        if ((byte(1) & 0x80) || (byte(0) & 0x70) || (control && (length > 125 || !fin))) {
            fail(Failure::BadFrame);
            return false;
        }
        if (!control && length > static_cast<std::uint64_t>(maxMessage_ - message_.size())) {
            frame(kClose, QByteArray("\x03\xf1", 2)); // 1009: too big to process
            fail(Failure::FrameTooBig);
            return false;
        }
        if (static_cast<std::uint64_t>(buffer_.size() - at - header) < length)
            break;
        const QByteArray payload = buffer_.mid(at + header, static_cast<qsizetype>(length));
        at += header + static_cast<qsizetype>(length);
        if (opcode == kPing) {
            frame(kPong, payload);
        } else if (opcode == kPong) {
            if (events_.pong)
                events_.pong();
        } else if (opcode == kClose) {
            frame(kClose, payload.left(2));
            socket_->disconnectFromHost();
            fail(Failure::None);
            return false;
        } else if (opcode == kText || opcode == kBinary || opcode == kContinuation) {
            if ((opcode == kContinuation) != inMessage_) {
                fail(Failure::BadFrame);
                return false;
            }
            if (opcode != kContinuation)
                textMessage_ = opcode == kText;
            message_ += payload;
            inMessage_ = !fin;
            if (fin) {
                const QByteArray message = std::exchange(message_, {});
                if (textMessage_ && events_.text)
                    events_.text(message);
            }
        } else {
            fail(Failure::BadFrame);
            return false;
        }
    }
    buffer_.remove(0, at);
    return state_ == State::Open;
}

void WebSocketLink::frame(std::uint8_t opcode, const QByteArray& payload)
{
    if (!socket_)
        return;
    QByteArray out;
    out.reserve(payload.size() + 14);
    out += static_cast<char>(0x80 | opcode);
    const auto size = static_cast<std::uint64_t>(payload.size());
    if (size < 126) {
        out += static_cast<char>(0x80 | size);
    } else if (size < 65536) {
        out += static_cast<char>(0x80 | 126);
        for (int shift = 8; shift >= 0; shift -= 8)
            out += static_cast<char>(size >> shift & 0xFF);
    } else {
        out += static_cast<char>(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            out += static_cast<char>(size >> shift & 0xFF);
    }
    char mask[4];
    for (char& m : mask)
        m = static_cast<char>(static_cast<int>(random_.next() * 256));
    out.append(mask, 4);
    for (qsizetype i = 0; i < payload.size(); ++i)
        out += static_cast<char>(payload[i] ^ mask[i % 4]);
    socket_->write(out);
}

void WebSocketLink::sendText(const QByteArray& text)
{
    if (state_ == State::Open)
        frame(kText, text);
}

void WebSocketLink::ping()
{
    if (state_ == State::Open)
        frame(kPing, {});
}

qint64 WebSocketLink::bytesToWrite() const
{
    return socket_ ? socket_->bytesToWrite() : 0;
}

void WebSocketLink::fail(Failure why, const HttpHead& head)
{
    if (state_ == State::Closed)
        return;
    state_ = State::Closed;
    if (socket_ && why != Failure::None) {
        socket_->flush();
        socket_->abort();
    }
    if (events_.closed)
        events_.closed(why, head);
}

PortRequest::PortRequest(const QUrl& url, qint64 maxBytes, Done done) : max_(maxBytes), done_(std::move(done))
{
    const bool tls = url.scheme() == "https";
    socket_ = MakeSocket(tls);
    QTcpSocket* s = socket_.get();
    const QByteArray request =
        "GET " + Target(url) + " HTTP/1.1\r\nHost: " + HostHeader(url) + "\r\nConnection: close\r\n\r\n";
    const auto send = [s, request] { s->write(request); };
    if (tls)
        QObject::connect(static_cast<QSslSocket*>(s), &QSslSocket::encrypted, s, send);
    else
        QObject::connect(s, &QTcpSocket::connected, s, send);
    QObject::connect(s, &QTcpSocket::readyRead, s, [this] { read(); });
    // An answer without a length ends with its connection.
    QObject::connect(s, &QTcpSocket::disconnected, s, [this] {
        const qsizetype end = buffer_.indexOf("\r\n\r\n");
        if (end < 0)
            finish(0, {});
        else
            finish(ParseHttpHead(buffer_, end).status, buffer_.mid(end + 4));
    });
    QObject::connect(s, &QTcpSocket::errorOccurred, s, [this](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::RemoteHostClosedError)
            finish(0, {});
    });
    Connect(*s, url, tls);
}

PortRequest::~PortRequest()
{
    Discard(socket_);
}

void PortRequest::read()
{
    buffer_ += socket_->read(max_ + 1 - buffer_.size());
    if (buffer_.size() > max_) {
        finish(0, {});
        return;
    }
    const qsizetype end = buffer_.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const HttpHead head = ParseHttpHead(buffer_, end);
    bool known = false;
    const qsizetype length = head.value("Content-Length").toLongLong(&known);
    if (known && buffer_.size() - end - 4 >= length)
        finish(head.status, buffer_.mid(end + 4, length));
}

// `done` may delete this request: nothing of it is touched after the call.
void PortRequest::finish(int status, const QByteArray& body)
{
    if (!done_)
        return;
    Discard(socket_);
    const Done done = std::exchange(done_, nullptr);
    done(status, body);
}

QUrl HttpAddress(const QUrl& webSocket, const QString& path)
{
    QUrl url;
    url.setScheme(webSocket.scheme() == "wss" ? "https" : "http");
    url.setHost(webSocket.host());
    url.setPort(webSocket.port());
    url.setPath(path);
    return url;
}

} // namespace quadrantel::voice
