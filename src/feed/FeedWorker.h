#pragma once

#include "feed/FeedFetcher.h"
#include "feed/FeedParser.h"
#include "feed/FeedTraffic.h"

#include <QObject>
#include <QThread>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quadrantel::feed {

struct FeedRequest {
    std::uint64_t id = 0;
    QUrl url;
    std::optional<Station> station; // the pilots near it are found with the parse
    bool forgetValidators = false;
};

// What a request brought, read.
struct FeedDelivery {
    std::uint64_t id = 0;
    Fetched fetched;                // its body already read
    std::optional<Snapshot> file;   // the data file, or the status document (Layout::Status)
    std::vector<std::size_t> near;  // the file's pilots near `station`
    std::optional<Station> station; // as asked
};

// The data feed's network and reading on a thread of their own: each request is fetched,
// inflated and parsed there, and its pilots near the station found, so the window's thread only
// takes the outcome (handed to `deliver` on the thread that made the worker). One request at a
// time: a new one drops the one under way.
class FeedWorker {
public:
    using Deliver = std::function<void(FeedDelivery&)>;

    FeedWorker(FetchOptions options, Deliver deliver);
    // Waits for the thread, dropping the request under way.
    ~FeedWorker();
    FeedWorker(const FeedWorker&) = delete;
    FeedWorker& operator=(const FeedWorker&) = delete;

    void Fetch(FeedRequest request);
    void Abort();

private:
    struct Inside;

    Deliver deliver_;
    QObject receiver_; // on the owner's thread; what it is handed dies with it
    QThread thread_;
    std::unique_ptr<QObject> home_; // on the worker's thread
    Inside* inside_ = nullptr;      // made, used and deleted on the worker's thread only
};

} // namespace quadrantel::feed
