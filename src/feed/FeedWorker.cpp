#include "feed/FeedWorker.h"

namespace quadrantel::feed {

struct FeedWorker::Inside {
    FeedWorker& owner;
    FeedFetcher fetcher;
    FeedParser parser;
    FeedRequest request;

    Inside(FeedWorker& o, FetchOptions options) : owner(o), fetcher(std::move(options), [this](Fetched& f) { Read(f); })
    {
    }

    void Fetch(FeedRequest r)
    {
        fetcher.Abort();
        if (r.forgetValidators)
            fetcher.ForgetValidators();
        request = std::move(r);
        fetcher.Fetch(request.url);
    }

    void Read(Fetched& f)
    {
        auto d = std::make_shared<FeedDelivery>();
        d->id = request.id;
        d->station = request.station;
        if (f.error.empty() && !f.notModified) {
            Snapshot s;
            std::string error;
            if (parser.Parse(std::string_view(f.body.constData(), static_cast<std::size_t>(f.body.size())), s, error)) {
                if (s.layout != Layout::Status && d->station)
                    for (std::size_t i = 0; i < s.pilots.size(); ++i)
                        if (Near(*d->station, s.pilots[i]))
                            d->near.push_back(i);
                d->file = std::move(s);
            } else {
                f.error = error;
                fetcher.ForgetValidators(); // the same bad file must not come back as "unchanged"
            }
        }
        f.body = QByteArray();
        d->fetched = std::move(f);
        FeedWorker* w = &owner;
        QMetaObject::invokeMethod(
            &owner.receiver_, [w, d] { w->deliver_(*d); }, Qt::QueuedConnection);
    }
};

FeedWorker::FeedWorker(FetchOptions options, Deliver deliver)
    : deliver_(std::move(deliver)), home_(std::make_unique<QObject>())
{
    thread_.setObjectName("data feed");
    home_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        home_.get(), [this, o = std::move(options)]() mutable { inside_ = new Inside(*this, std::move(o)); },
        Qt::QueuedConnection);
}

FeedWorker::~FeedWorker()
{
    // Everything queued before runs first; nothing is handed over after.
    QMetaObject::invokeMethod(
        home_.get(),
        [this] {
            delete inside_;
            inside_ = nullptr;
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void FeedWorker::Fetch(FeedRequest request)
{
    QMetaObject::invokeMethod(
        home_.get(), [this, r = std::move(request)]() mutable { inside_->Fetch(std::move(r)); }, Qt::QueuedConnection);
}

void FeedWorker::Abort()
{
    QMetaObject::invokeMethod(
        home_.get(), [this] { inside_->fetcher.Abort(); }, Qt::QueuedConnection);
}

} // namespace quadrantel::feed
