#include "feed/HttpGet.h"

#include <QSslSocket>
#include <QTcpSocket>

#include <zlib.h>

#include <algorithm>
#include <charconv>

namespace quadrantel::feed {

namespace {

constexpr qint64 kMaxHead = qint64{64} * 1024; // status line, headers, or a trailer
constexpr int kMaxHeaderLines = 200;
constexpr int kMaxChunkLine = 1024;
constexpr qint64 kReadPiece = qint64{64} * 1024;
constexpr std::size_t kInflatePiece = std::size_t{64} * 1024;

std::string TooBig(qint64 max)
{
    if (max >= (qint64{1} << 20) && max % (qint64{1} << 20) == 0)
        return "file too big: over " + std::to_string(max >> 20) + " MiB";
    return "file too big: over " + Thousands(max) + " bytes";
}

bool IsRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QByteArray Line(const QByteArray& in, qsizetype from, qsizetype end)
{
    QByteArray line = in.mid(from, end - from);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

struct HttpGet::Inflater {
    z_stream z{};
    bool ended = false;
    bool deflate = false; // "deflate" is a zlib stream, or by a common mistake a raw one
    bool raw = false;

    explicit Inflater(bool isDeflate) : deflate(isDeflate) { inflateInit2(&z, isDeflate ? 15 + 32 : 15 + 16); }
    ~Inflater() { inflateEnd(&z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Appends what `data` inflates to; false when the stream is broken.
    bool Take(const char* data, qint64 size, QByteArray& out, qint64 cap)
    {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z.avail_in = static_cast<uInt>(size);
        char piece[kInflatePiece];
        while (z.avail_in > 0 && !ended) {
            z.next_out = reinterpret_cast<Bytef*>(piece);
            z.avail_out = sizeof piece;
            const int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_DATA_ERROR && deflate && !raw && z.total_out == 0) {
                raw = true;
                inflateEnd(&z);
                inflateInit2(&z, -15);
                z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
                z.avail_in = static_cast<uInt>(size);
                continue;
            }
            if (r != Z_OK && r != Z_STREAM_END)
                return false;
            out.append(piece, static_cast<qsizetype>(sizeof piece - z.avail_out));
            if (cap > 0 && out.size() > cap)
                return true; // the caller names it
            if (r == Z_STREAM_END) {
                // gzip may hold more than one member, one after the other.
                if (z.avail_in > 0 && !deflate)
                    inflateReset(&z);
                else
                    ended = true;
            }
        }
        return true;
    }
};

HttpGet::HttpGet(HttpOptions options) : options_(std::move(options))
{
    stall_.setSingleShot(true);
    QObject::connect(&stall_, &QTimer::timeout, &context_,
                     [this] { fail("no data for " + std::to_string(options_.stallMs / 1000) + " s"); });
}

HttpGet::~HttpGet()
{
    Abort();
}

void HttpGet::Get(const QUrl& url, Headers headers, Done done)
{
    Abort();
    busy_ = true;
    done_ = std::move(done);
    headers_ = std::move(headers);
    redirects_ = 0;
    answer_ = HttpAnswer{};
    answer_.url = url;
    total_.start();
    connectTo(url);
}

void HttpGet::connectTo(const QUrl& url)
{
    stage_ = Stage::Status;
    in_.clear();
    headBytes_ = 0;
    headerLines_ = 0;
    contentLength_ = -1;
    chunked_ = false;
    chunkLeft_ = 0;
    received_ = 0;
    location_.clear();
    inflater_.reset();
    answer_.status = 0;
    answer_.body.clear();
    answer_.etag.clear();
    answer_.lastModified.clear();
    answer_.date.clear();
    answer_.retryAfter.clear();

    if (!UsableAddress(url)) {
        fail("not an http(s) address");
        return;
    }
    const bool tls = url.scheme() == "https";
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = "[" + host + "]";
    const int port = url.port(tls ? 443 : 80);
    if (port != (tls ? 443 : 80))
        host += ":" + QByteArray::number(port);
    QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty())
        path = "/";
    if (url.hasQuery())
        path += "?" + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n";
    if (!options_.userAgent.isEmpty())
        request += "User-Agent: " + options_.userAgent + "\r\n";
    request += "Accept: application/json\r\nAccept-Encoding: gzip, deflate\r\nConnection: close\r\n";
    for (const auto& [name, value] : headers_)
        request += name + ": " + value + "\r\n";
    request += "\r\n";

    QSslSocket* ssl = tls ? new QSslSocket : nullptr;
    socket_ = ssl ? ssl : new QTcpSocket;
    // Never more than this waits in Qt's buffer: the rest stays with the kernel until taken.
    socket_->setReadBufferSize(kReadPiece * 4);
    const auto send = [this, request] {
        stall_.start(options_.stallMs);
        socket_->write(request);
    };
    QObject::connect(socket_, &QTcpSocket::readyRead, &context_, [this] { onReadable(); });
    QObject::connect(socket_, &QTcpSocket::disconnected, &context_, [this] { onClosed(); });
    QObject::connect(socket_, &QTcpSocket::errorOccurred, &context_, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError)
            onClosed();
        else if (socket_)
            fail((answer_.status == 0 ? "cannot connect: " : "the answer broke off: ") +
                 socket_->errorString().toStdString());
    });
    stall_.start(options_.stallMs);
    if (ssl) {
        if (options_.ssl)
            ssl->setSslConfiguration(*options_.ssl);
        QObject::connect(ssl, &QSslSocket::encrypted, &context_, send);
        ssl->connectToHostEncrypted(url.host(), static_cast<quint16>(port));
    } else {
        QObject::connect(socket_, &QTcpSocket::connected, &context_, send);
        socket_->connectToHost(url.host(), static_cast<quint16>(port));
    }
}

void HttpGet::closeSocket()
{
    stall_.stop();
    if (QTcpSocket* s = socket_) {
        socket_ = nullptr;
        QObject::disconnect(s, nullptr, &context_, nullptr);
        s->abort();
        s->deleteLater();
    }
}

void HttpGet::Abort()
{
    endRequest();
    done_ = nullptr;
}

void HttpGet::endRequest()
{
    closeSocket();
    busy_ = false;
    inflater_.reset();
    in_ = QByteArray();
}

void HttpGet::onReadable()
{
    while (busy_ && socket_ && socket_->bytesAvailable() > 0) {
        stall_.start(options_.stallMs);
        in_ += socket_->read(kReadPiece);
        if (!parse())
            return;
        if (options_.totalMs > 0 && total_.elapsed() > options_.totalMs) {
            fail("not done after " + std::to_string(options_.totalMs / 1000) + " s");
            return;
        }
    }
}

void HttpGet::onClosed()
{
    if (!busy_ || !socket_)
        return;
    onReadable(); // what came before the close is still to be taken
    if (!busy_)
        return;
    if (stage_ == Stage::Body && contentLength_ < 0)
        finish(); // a body that ends with its connection
    else if (stage_ == Stage::Status && in_.isEmpty())
        fail("cannot connect: the server closed the connection");
    else
        fail("the answer broke off");
}

// Takes what it can of in_; false once the request is over (answered or failed).
bool HttpGet::parse()
{
    qsizetype pos = 0;
    const auto lineEnd = [&](qsizetype limit, const char* tooLong) -> qsizetype {
        const qsizetype end = in_.indexOf('\n', pos);
        if (end < 0 && in_.size() - pos > limit) {
            fail(tooLong);
            return -2;
        }
        return end;
    };
    while (busy_) {
        const qsizetype left = in_.size() - pos;
        switch (stage_) {
        case Stage::Status:
        case Stage::Headers:
        case Stage::Trailer: {
            const qsizetype end = lineEnd(kMaxHead - headBytes_, "the answer's headers do not end");
            if (end == -2)
                return false;
            if (end < 0) {
                in_.remove(0, pos);
                return true;
            }
            const QByteArray line = Line(in_, pos, end);
            headBytes_ += end + 1 - pos;
            pos = end + 1;
            if (stage_ == Stage::Status) {
                int status = 0;
                const char* digits = line.constData() + 9;
                if (!line.startsWith("HTTP/1.") || line.size() < 12 || line[8] != ' ' ||
                    std::from_chars(digits, digits + 3, status).ptr != digits + 3 || status < 100) {
                    fail("not an HTTP answer");
                    return false;
                }
                answer_.status = status;
                stage_ = Stage::Headers;
            } else if (line.isEmpty()) {
                if (stage_ == Stage::Trailer) {
                    finish();
                    return false;
                }
                if (!headersDone())
                    return false;
            } else if (++headerLines_ > kMaxHeaderLines || headBytes_ > kMaxHead) {
                fail("the answer's headers do not end");
                return false;
            } else if (stage_ == Stage::Headers && !header(line)) {
                return false;
            }
            break;
        }
        case Stage::Body: {
            const qint64 n = contentLength_ < 0 ? left : std::min<qint64>(left, contentLength_ - received_);
            if (n > 0 && !takeBody(in_.constData() + pos, n))
                return false;
            pos += n;
            if (contentLength_ >= 0 && received_ >= contentLength_) {
                finish();
                return false;
            }
            in_.remove(0, pos);
            return true;
        }
        case Stage::ChunkSize: {
            const qsizetype end = lineEnd(kMaxChunkLine, "a chunk's size line does not end");
            if (end == -2)
                return false;
            if (end < 0) {
                in_.remove(0, pos);
                return true;
            }
            QByteArray line = Line(in_, pos, end);
            line.truncate(line.indexOf(';') < 0 ? line.size() : line.indexOf(';'));
            line = line.trimmed();
            pos = end + 1;
            std::uint64_t size = 0;
            const auto r = std::from_chars(line.constData(), line.constData() + line.size(), size, 16);
            if (line.isEmpty() || r.ptr != line.constData() + line.size() || size > (std::uint64_t{1} << 40)) {
                fail("the answer's chunks are broken");
                return false;
            }
            chunkLeft_ = static_cast<qint64>(size);
            stage_ = size == 0 ? Stage::Trailer : Stage::ChunkData;
            break;
        }
        case Stage::ChunkData: {
            const qint64 n = std::min<qint64>(left, chunkLeft_);
            if (n > 0 && !takeBody(in_.constData() + pos, n))
                return false;
            pos += n;
            chunkLeft_ -= n;
            if (chunkLeft_ > 0) {
                in_.remove(0, pos);
                return true;
            }
            stage_ = Stage::ChunkEnd;
            break;
        }
        case Stage::ChunkEnd: {
            if (left == 0 || (left == 1 && in_[pos] == '\r')) {
                in_.remove(0, pos);
                return true;
            }
            const qsizetype end = in_[pos] == '\r' ? pos + 1 : pos;
            if (in_[end] != '\n') {
                fail("the answer's chunks are broken");
                return false;
            }
            pos = end + 1;
            stage_ = Stage::ChunkSize;
            break;
        }
        }
    }
    return false;
}

bool HttpGet::header(const QByteArray& line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return true; // not a header: nothing to take from it
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        qint64 n = -1;
        if (std::from_chars(value.constData(), value.constData() + value.size(), n).ptr !=
                value.constData() + value.size() ||
            n < 0 || (contentLength_ >= 0 && n != contentLength_)) {
            fail("the answer's length is broken");
            return false;
        }
        contentLength_ = n;
    } else if (name == "transfer-encoding") {
        chunked_ = value.toLower().contains("chunked");
    } else if (name == "content-encoding") {
        const QByteArray coding = value.toLower();
        if (coding == "gzip" || coding == "x-gzip" || coding == "deflate") {
            inflater_ = std::make_unique<Inflater>(coding == "deflate");
        } else if (!coding.isEmpty() && coding != "identity") {
            fail("the answer's encoding \"" + value.left(40).toStdString() + "\" is not understood");
            return false;
        }
    } else if (name == "etag") {
        answer_.etag = value;
    } else if (name == "last-modified") {
        answer_.lastModified = value;
    } else if (name == "date") {
        answer_.date = value;
    } else if (name == "retry-after") {
        answer_.retryAfter = value;
    } else if (name == "location") {
        location_ = value;
    }
    return true;
}

bool HttpGet::headersDone()
{
    const int status = answer_.status;
    if (status < 200 && status != 101) { // an interim answer; the real one follows
        stage_ = Stage::Status;
        headerLines_ = 0;
        contentLength_ = -1;
        chunked_ = false;
        inflater_.reset();
        return true;
    }
    if (IsRedirect(status)) {
        redirect(location_);
        return false;
    }
    if (status == 204 || status == 304 || status == 101) {
        finish();
        return false;
    }
    if (chunked_) {
        contentLength_ = -1;
        stage_ = Stage::ChunkSize;
        return true;
    }
    if (options_.maxBytes > 0 && contentLength_ > options_.maxBytes) {
        fail(TooBig(options_.maxBytes));
        return false;
    }
    if (contentLength_ == 0) {
        finish();
        return false;
    }
    stage_ = Stage::Body;
    return true;
}

bool HttpGet::takeBody(const char* data, qint64 size)
{
    received_ += size;
    const qint64 cap = options_.maxBytes;
    if (cap > 0 && received_ > cap) {
        fail(TooBig(cap));
        return false;
    }
    if (!inflater_) {
        answer_.body.append(data, size);
        return true;
    }
    if (!inflater_->Take(data, size, answer_.body, cap)) {
        fail("the answer's compressed body is broken");
        return false;
    }
    if (cap > 0 && answer_.body.size() > cap) {
        fail(TooBig(cap));
        return false;
    }
    return true;
}

void HttpGet::redirect(const QByteArray& location)
{
    const std::string status = "HTTP status " + std::to_string(answer_.status);
    if (location.isEmpty()) {
        fail("redirect without an address (" + status + ")");
        return;
    }
    const QUrl target = answer_.url.resolved(QUrl::fromEncoded(location));
    if (!UsableAddress(target)) {
        fail("redirect to an address that is not http(s) refused (" + status + ")");
        return;
    }
    if (answer_.url.scheme() == "https" && target.scheme() == "http") {
        fail("redirect from https to http refused (" + status + ")");
        return;
    }
    if (++redirects_ > options_.maxRedirects) {
        fail("too many redirects (" + status + ")");
        return;
    }
    closeSocket();
    answer_.url = target;
    connectTo(target);
}

void HttpGet::finish()
{
    if (inflater_ && !inflater_->ended && received_ > 0) {
        fail("the answer's compressed body is broken");
        return;
    }
    endRequest();
    HttpAnswer answer = std::move(answer_);
    answer_ = HttpAnswer{};
    if (Done done = std::move(done_))
        done(answer);
}

void HttpGet::fail(const std::string& error)
{
    if (!busy_)
        return;
    endRequest();
    HttpAnswer answer;
    answer.status = answer_.status;
    answer.retryAfter = answer_.retryAfter;
    answer.date = answer_.date;
    answer.url = answer_.url;
    answer.error = error;
    answer_ = HttpAnswer{};
    if (Done done = std::move(done_))
        done(answer);
}

std::string Thousands(std::int64_t n)
{
    const std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out = n < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

bool UsableAddress(const QUrl& url)
{
    return url.isValid() && (url.scheme() == "http" || url.scheme() == "https") && !url.host().isEmpty();
}

} // namespace quadrantel::feed
