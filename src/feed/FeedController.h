#pragma once

#include "feed/FeedSettings.h"
#include "feed/FeedTraffic.h"
#include "feed/FeedWorker.h"
#include "feed/NetworkClock.h"
#include "platform/Controls.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quadrantel::platform {
class Clock;
class Random;
} // namespace quadrantel::platform

namespace quadrantel::feed {

// A PC clock further off than this from the server's is named.
inline constexpr std::int64_t kClockToleranceMs = 30'000;
// Without a new file for this long every position has expired.
inline constexpr std::int64_t kNoNewFileMs = 120'000;
// The status document is read again after this long, or after this many failed fetches in a row.
inline constexpr std::int64_t kStatusEveryMs = 3'600'000;
inline constexpr int kFailuresToReread = 3;

struct FeedOptions {
    FetchOptions fetch;
    int intervalMs = kMinIntervalSeconds * 1000;
    std::vector<int> backoffMs{15'000, 30'000, 60'000, 120'000}; // after the 1st, 2nd, ... error in a row
};

// The data feed as the main window's position source: fetched on a timer while started (by a
// worker thread, which also reads the file), filtered around the station and handed to the
// traffic table; its state on the link's light, buttons and message line. When FeedURL answers
// with the network's status document, the file's address is taken from it.
class FeedController {
public:
    struct Controls {
        platform::Button& cmdConnect;
        platform::Button& cmdClose;
        platform::CheckBox& chkAutoConnect;
        platform::Image& lblState;
        platform::Image& imgData;
    };

    struct Hooks {
        // The selected station; none when no station is chosen.
        std::function<std::optional<Station>()> station;
        // Puts the kept pilots into the traffic table; `now` asks for the strip list at once.
        std::function<void(const FeedTraffic::Changes&, bool now)> apply;
        // The message line.
        std::function<void(const std::string&)> updateIcon;
        // One line a fetch into the dump; default: the day's dump file.
        std::function<void(const std::string&)> dump;
        // Default: the day's log when debug lines are on.
        std::function<void(const std::string&)> log;
    };

    FeedController(Controls controls, FeedOptions options, const platform::Clock& clock, platform::Random& random,
                   Hooks hooks);

    void Start();
    void Stop();
    void cmdConnect_Click() { Start(); }
    // Stops it and unticks AutoConnect.
    void cmdClose_Click();
    // The 100 ms tick: the state display, automatic start, and expiry between files.
    void tmrUpdate_Timer();
    void StationChanged();

    bool running() const { return running_; }
    // "data feed: 626 of 2,500 pilots within 400 NM, 7 s old", or what is wrong.
    std::string StateText() const;
    // Its light: green only while files come and pilots near the station are kept.
    platform::Picture Light() const;
    const FeedTraffic& traffic() const { return traffic_; }
    // Now on the network's clock: the time pilots' ages and projections are measured at.
    std::int64_t NetworkNowMs() const { return net_.NowMs(); }
    // Ms since the last new file arrived (or since the feed was first started).
    std::int64_t SinceNewFileMs() const;
    // The file's address a status document gave; empty when FeedURL is the file.

    // One answer, read, as the worker hands it over (the latest request's only).
    void Handle(FeedDelivery& delivery);

private:
    void request();
    void schedule(int ms);
    void showState(bool tell = false);
    void log(const std::string& text) const;
    void dump(const Fetched& f, const std::string& outcome) const;
    void checkClock(const Fetched& f);
    void applyFile(FeedDelivery& d);
    // The answer's use; an error text when it has none. `again`: ask once more at once.
    std::string take(FeedDelivery& d, std::string& outcome, bool& again);
    bool starved() const;

    Controls c_;
    FeedOptions options_;
    const platform::Clock& clock_;
    platform::Random& random_;
    Hooks hooks_;
    FeedTraffic traffic_;
    QTimer next_;
    bool running_ = false;
    bool answered_ = false;     // a file has been applied since the start
    bool askedPlainly_ = false; // asked again without validators after a 304 with no file
    bool forget_ = false;       // the next request goes without validators
    int errors_ = 0;            // in a row
    int fileErrors_ = 0;        // of the file a status document named, in a row
    std::string error_;
    int retryMs_ = 0;
    QUrl fileUrl_;
    std::int64_t statusMono_ = 0; // when the status document was read
    std::uint64_t requestId_ = 0;
    NetworkClock net_;
    std::int64_t fileMs_ = 0;      // the applied file's own time (or when it came), network clock
    std::int64_t newFileMono_ = 0; // when a new file last came (or the feed first started)
    bool startedOnce_ = false;
    bool clockNamed_ = false;
    std::int64_t lastExpiryMono_ = 0;
    FeedWorker worker_; // declared last, destroyed first: its thread stops before the rest goes
};

} // namespace quadrantel::feed
