#include "feed/FeedFetcher.h"

#include "feed/FeedTime.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

namespace quadrantel::feed {

namespace {

constexpr qint64 kReadPiece = qint64{1} << 20;

std::string TooBig(qint64 max)
{
    if (max >= (qint64{1} << 20) && max % (qint64{1} << 20) == 0)
        return "file over " + std::to_string(max >> 20) + " MiB refused";
    return "file over " + Thousands(max) + " bytes refused";
}

} // namespace

FeedFetcher::FeedFetcher(FetchOptions options, Done done) : options_(std::move(options)), done_(std::move(done))
{
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, &manager_, [this] {
        refused_ = "timed out after " + std::to_string(options_.deadlineMs / 1000) + " s";
        if (reply_)
            reply_->abort();
    });
}

FeedFetcher::~FeedFetcher()
{
    Abort();
}

void FeedFetcher::ForgetValidators()
{
    etag_.clear();
    lastModified_.clear();
}

void FeedFetcher::Fetch()
{
    if (reply_)
        return;
    QNetworkRequest request(options_.url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    // Our own cap decides; Qt's ratio check would refuse a well-compressed file below it.
    request.setDecompressedSafetyCheckThreshold(options_.maxBytes);
    if (!etag_.isEmpty())
        request.setRawHeader("If-None-Match", etag_);
    if (!lastModified_.isEmpty())
        request.setRawHeader("If-Modified-Since", lastModified_);
    if (options_.ssl)
        request.setSslConfiguration(*options_.ssl);
    body_.clear();
    refused_.clear();
    reply_ = manager_.get(request);
    // Handed over in pieces: no one piece of a large file stops the thread for long.
    reply_->setReadBufferSize(kReadPiece);
    QObject::connect(reply_, &QNetworkReply::readyRead, &manager_, [this] { onReadyRead(); });
    QObject::connect(reply_, &QNetworkReply::finished, &manager_, [this] { onFinished(); });
    QObject::connect(reply_, &QNetworkReply::metaDataChanged, &manager_, [this] {
        bool ok = false;
        const qint64 length = reply_->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        const bool compressed = !reply_->rawHeader("Content-Encoding").isEmpty();
        if (ok && !compressed && length > options_.maxBytes) {
            refused_ = TooBig(options_.maxBytes);
            reply_->abort();
        }
    });
    deadline_.start(options_.deadlineMs);
}

void FeedFetcher::onReadyRead()
{
    if (!reply_ || !refused_.empty())
        return;
    // Never more than is there: read(n) would first make room for n bytes.
    body_ += reply_->read(std::min(reply_->bytesAvailable(), options_.maxBytes - body_.size() + 1));
    if (body_.size() > options_.maxBytes) {
        refused_ = TooBig(options_.maxBytes);
        body_.clear();
        reply_->abort();
    }
}

void FeedFetcher::onFinished()
{
    deadline_.stop();
    QNetworkReply* reply = reply_;
    reply_.clear();
    if (!reply)
        return;
    reply->deleteLater();
    QObject::disconnect(reply, nullptr, &manager_, nullptr);

    Fetched f;
    f.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray date = reply->rawHeader("Date");
    f.serverMs = ParseHttpDate(std::string_view(date.constData(), static_cast<std::size_t>(date.size()))).value_or(0);
    if (refused_.empty() && reply->error() == QNetworkReply::NoError)
        body_ += reply->readAll();
    if (body_.size() > options_.maxBytes)
        refused_ = TooBig(options_.maxBytes);
    if (!refused_.empty()) {
        f.error = refused_;
    } else if (f.httpStatus == 304) {
        f.notModified = true;
    } else if (f.httpStatus != 0 && f.httpStatus != 200) {
        f.error = "HTTP status " + std::to_string(f.httpStatus);
    } else if (reply->error() != QNetworkReply::NoError) {
        f.error = "cannot connect: " + reply->errorString().toStdString();
    } else {
        f.bytes = body_.size();
        f.body = std::move(body_);
        etag_ = reply->rawHeader("ETag");
        lastModified_ = reply->rawHeader("Last-Modified");
    }
    body_ = QByteArray();
    refused_.clear();
    if (done_)
        done_(f);
}

void FeedFetcher::Abort()
{
    deadline_.stop();
    if (QNetworkReply* reply = reply_) {
        reply_.clear();
        QObject::disconnect(reply, nullptr, &manager_, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    body_ = QByteArray();
    refused_.clear();
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

} // namespace quadrantel::feed
