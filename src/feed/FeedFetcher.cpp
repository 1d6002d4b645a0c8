#include "feed/FeedFetcher.h"

#include "feed/FeedTime.h"

#include <algorithm>
#include <charconv>

namespace quadrantel::feed {

namespace {

std::string_view View(const QByteArray& b)
{
    return {b.constData(), static_cast<std::size_t>(b.size())};
}

HttpOptions HttpOptionsOf(const FetchOptions& o)
{
    HttpOptions h;
    h.stallMs = o.deadlineMs;
    h.maxBytes = o.maxBytes;
    h.ssl = o.ssl;
    h.userAgent = o.userAgent;
    return h;
}

} // namespace

FeedFetcher::FeedFetcher(FetchOptions options, Done done)
    : options_(std::move(options)), done_(std::move(done)), http_(HttpOptionsOf(options_))
{
}

void FeedFetcher::ForgetValidators()
{
    etag_.clear();
    lastModified_.clear();
}

void FeedFetcher::Fetch(const QUrl& url)
{
    HttpGet::Headers headers;
    if (url == validated_) {
        if (!etag_.isEmpty())
            headers.emplace_back("If-None-Match", etag_);
        if (!lastModified_.isEmpty())
            headers.emplace_back("If-Modified-Since", lastModified_);
    }
    asked_ = url;
    conditional_ = !headers.empty();
    http_.Get(url, std::move(headers), [this](HttpAnswer& a) { onAnswer(a); });
}

void FeedFetcher::onAnswer(HttpAnswer& a)
{
    Fetched f;
    f.httpStatus = a.status;
    f.url = asked_;
    f.conditional = conditional_;
    f.serverMs = ParseHttpDate(View(a.date)).value_or(0);
    if (!a.error.empty()) {
        f.error = a.error;
    } else if (a.status == 304) {
        f.notModified = true;
    } else if (a.status != 200) {
        f.error = "HTTP status " + std::to_string(a.status);
        if (a.status == 429 || a.status == 503)
            f.retryAfterMs = RetryAfterMs(View(a.retryAfter), f.serverMs);
    } else {
        f.bytes = a.body.size();
        f.body = std::move(a.body);
        validated_ = asked_;
        etag_ = a.etag;
        lastModified_ = a.lastModified;
    }
    if (done_)
        done_(f);
}

std::int64_t RetryAfterMs(std::string_view value, std::int64_t serverMs)
{
    std::int64_t seconds = 0;
    const auto r = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (!value.empty() && r.ec == std::errc() && r.ptr == value.data() + value.size())
        return seconds > 0 ? std::min<std::int64_t>(seconds, 86'400) * 1000 : 0;
    const auto at = ParseHttpDate(value);
    if (!at || serverMs == 0)
        return 0;
    return std::clamp<std::int64_t>(*at - serverMs, 0, 86'400'000);
}

} // namespace quadrantel::feed
