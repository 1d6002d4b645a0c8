#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QNetworkReply;

namespace quadrantel::feed {

inline constexpr qint64 kMaxFeedBytes = qint64{64} << 20;

struct FetchOptions {
    QUrl url;
    int deadlineMs = 20'000;
    qint64 maxBytes = kMaxFeedBytes;
    std::optional<QSslConfiguration> ssl; // default: the system's trust
};

// The outcome of one request.
struct Fetched {
    int httpStatus = 0; // 0: no answer
    qint64 bytes = 0;   // of the body, as handed over (decompressed)
    bool notModified = false;
    std::int64_t serverMs = 0; // the server's time of its answer (the Date header); 0: not given
    std::string error;         // empty: a body (or 304) to use
    QByteArray body;
};

// One conditional GET at a time: If-None-Match / If-Modified-Since from the last good answer,
// redirects followed, compression left to Qt, a deadline for the whole request, and a body
// refused as soon as it grows past the cap.
class FeedFetcher {
public:
    using Done = std::function<void(Fetched&)>;

    FeedFetcher(FetchOptions options, Done done);
    ~FeedFetcher();
    FeedFetcher(const FeedFetcher&) = delete;
    FeedFetcher& operator=(const FeedFetcher&) = delete;

    void Fetch();
    // Drops the request under way without an answer.
    void Abort();
    bool busy() const { return !reply_.isNull(); }
    // Forgets the validators, so that the next request gets the whole file.
    void ForgetValidators();

private:
    void onReadyRead();
    void onFinished();
    void fail(const std::string& error);

    FetchOptions options_;
    Done done_;
    QNetworkAccessManager manager_;
    QPointer<QNetworkReply> reply_;
    QTimer deadline_;
    QByteArray body_;
    std::string refused_; // why the request under way was aborted by us
    QByteArray etag_;
    QByteArray lastModified_;
};

// 1432 -> "1,432", whatever the locale.
std::string Thousands(std::int64_t n);

} // namespace quadrantel::feed
