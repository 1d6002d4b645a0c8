#pragma once

#include "feed/HttpGet.h"

#include <QByteArray>
#include <QSslConfiguration>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quadrantel::feed {

inline constexpr qint64 kMaxFeedBytes = qint64{64} << 20;

struct FetchOptions {
    QUrl url;
    int deadlineMs = 20'000; // for a transfer that stops moving
    qint64 maxBytes = kMaxFeedBytes;
    std::optional<QSslConfiguration> ssl; // default: the system's trust
    QByteArray userAgent;                 // default: the program's name and version
};

// The outcome of one request.
struct Fetched {
    int httpStatus = 0; // 0: no answer
    qint64 bytes = 0;   // of the body, as handed over (decompressed)
    bool notModified = false;
    bool conditional = false;      // the request carried validators
    std::int64_t serverMs = 0;     // the server's time of its answer (the Date header); 0: not given
    std::int64_t retryAfterMs = 0; // how long the server asked us to wait; 0: not said
    std::string error;             // empty: a body (or 304) to use
    QByteArray body;
    QUrl url; // the address asked for
};

// One conditional GET at a time: If-None-Match / If-Modified-Since from the last good answer of
// the same address, the program's name as the User-Agent, and what the server says of waiting.
class FeedFetcher {
public:
    using Done = std::function<void(Fetched&)>;

    FeedFetcher(FetchOptions options, Done done);
    FeedFetcher(const FeedFetcher&) = delete;
    FeedFetcher& operator=(const FeedFetcher&) = delete;

    void Fetch(const QUrl& url);
    // Drops the request under way without an answer.
    void Abort() { http_.Abort(); }
    // Forgets the validators, so that the next request gets the whole file.
    void ForgetValidators();

private:
    void onAnswer(HttpAnswer& answer);

    FetchOptions options_;
    Done done_;
    HttpGet http_;
    QUrl asked_;
    bool conditional_ = false;
    QUrl validated_; // the address the validators are of
    QByteArray etag_;
    QByteArray lastModified_;
};

// Retry-After as ms: seconds, or an HTTP date measured against the answer's own Date; 0 when
// neither.
std::int64_t RetryAfterMs(std::string_view value, std::int64_t serverMs);

} // namespace quadrantel::feed
