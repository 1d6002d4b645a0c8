#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QTcpSocket;

namespace quadrantel::feed {

struct HttpOptions {
    int stallMs = 20'000;  // no byte for this long: the transfer has stopped moving
    int totalMs = 300'000; // a transfer that moves but never ends
    qint64 maxBytes = 0;   // of the body, as it comes and decoded; 0: no cap
    int maxRedirects = 5;
    std::optional<QSslConfiguration> ssl; // default: the system's trust
    QByteArray userAgent;
};

// What came back: an answer of any status, or why there was none.
struct HttpAnswer {
    int status = 0;    // 0: no answer
    std::string error; // empty: an answer
    QByteArray body;   // decoded
    QByteArray etag, lastModified, date, retryAfter;
    QUrl url; // where it came from, after redirects
};

// One GET at a time over a connection of its own (HTTP/1.1, plain or TLS), with limits a
// hostile server cannot talk past: the status line and headers, a chunk's size line and the
// body are bounded, gzip and deflate are inflated as they come, redirects are followed only to
// http(s) and never from https to http, and a transfer that stops moving is given up. Works in
// the thread it was made in.
class HttpGet {
public:
    using Done = std::function<void(HttpAnswer&)>;
    using Headers = std::vector<std::pair<QByteArray, QByteArray>>;

    explicit HttpGet(HttpOptions options);
    ~HttpGet();
    HttpGet(const HttpGet&) = delete;
    HttpGet& operator=(const HttpGet&) = delete;

    void Get(const QUrl& url, Headers headers, Done done);
    // Drops the request under way without an answer; its connection is closed at once.
    void Abort();

private:
    struct Inflater;
    enum class Stage { Status, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailer };

    void connectTo(const QUrl& url);
    void closeSocket();
    // The socket closed, nothing more read or inflated: the request is over.
    void endRequest();
    void onReadable();
    void onClosed();
    bool parse();
    bool header(const QByteArray& line);
    bool headersDone();
    bool takeBody(const char* data, qint64 size);
    void finish();
    void fail(const std::string& error);
    void redirect(const QByteArray& location);

    HttpOptions options_;
    QObject context_;
    QTcpSocket* socket_ = nullptr;
    QTimer stall_;
    QElapsedTimer total_;
    bool busy_ = false;
    Done done_;
    Headers headers_;
    int redirects_ = 0;

    HttpAnswer answer_;
    Stage stage_ = Stage::Status;
    QByteArray in_; // received and not yet taken
    qint64 headBytes_ = 0;
    int headerLines_ = 0;
    qint64 contentLength_ = -1;
    bool chunked_ = false;
    qint64 chunkLeft_ = 0;
    qint64 received_ = 0; // body bytes as they came
    QByteArray location_;
    std::unique_ptr<Inflater> inflater_;
};

// 1432 -> "1,432", whatever the locale.
std::string Thousands(std::int64_t n);

// Only http(s) addresses with a host are asked: a file name (a FIFO, say) never is.
bool UsableAddress(const QUrl& url);

} // namespace quadrantel::feed
