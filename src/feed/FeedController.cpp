#include "feed/FeedController.h"

#include "platform/Clock.h"
#include "platform/Random.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <QDateTime>

#include <algorithm>
#include <cstdlib>

namespace quadrantel::feed {

using platform::Picture;

namespace {

FetchOptions WithUserAgent(FetchOptions o)
{
    if (o.userAgent.isEmpty()) {
        const shell::Globals& g = shell::globals();
        o.userAgent = QByteArray::fromStdString(g.sAppName + "/" + g.sVersion);
    }
    return o;
}

} // namespace

FeedController::FeedController(Controls controls, FeedOptions options, const platform::Clock& clock,
                               platform::Random& random, Hooks hooks)
    : c_(controls), options_(std::move(options)), clock_(clock), random_(random), hooks_(std::move(hooks)), net_(clock),
      worker_(WithUserAgent(options_.fetch), [this](FeedDelivery& d) {
          if (d.id == requestId_)
              Handle(d);
      })
{
    next_.setSingleShot(true);
    QObject::connect(&next_, &QTimer::timeout, &next_, [this] { request(); });
}

void FeedController::log(const std::string& text) const
{
    if (hooks_.log)
        hooks_.log(text);
    else if (shell::globals().bDebug)
        shell::WriteLog(text);
}

void FeedController::dump(const Fetched& f, const std::string& outcome) const
{
    const std::string line =
        QDateTime::fromMSecsSinceEpoch(clock_.nowMSecs(), Qt::UTC).toString("yyyy-MM-ddTHH:mm:ssZ").toStdString() +
        " data feed: HTTP " + std::to_string(f.httpStatus) + ", " + std::to_string(f.bytes) + " bytes, " + outcome;
    if (hooks_.dump)
        hooks_.dump(line);
    else
        shell::Log(line);
}

void FeedController::Start()
{
    if (running_)
        return;
    running_ = true;
    answered_ = false;
    askedPlainly_ = false;
    errors_ = 0;
    fileErrors_ = 0;
    error_.clear();
    if (!startedOnce_) {
        startedOnce_ = true;
        newFileMono_ = clock_.monotonicMSecs();
    }
    log("Data feed started: " + options_.fetch.url.toString().toStdString());
    if (!UsableAddress(options_.fetch.url)) {
        // Whatever the settings file holds: a file name (a FIFO, say) is never opened.
        error_ = "FeedURL is not an http:// or https:// address";
    } else {
        request();
    }
    showState(true);
}

void FeedController::Stop()
{
    if (!running_)
        return;
    running_ = false;
    next_.stop();
    ++requestId_; // what is under way is nobody's now
    worker_.Abort();
    log("Data feed stopped");
    showState(true);
}

void FeedController::cmdClose_Click()
{
    // As with the link: a user who stops it does not want it started again behind his back.
    c_.chkAutoConnect.setValue(0);
    Stop();
}

void FeedController::request()
{
    if (!running_)
        return;
    // The file a status document named, until that document is due to be read again.
    const bool reread = clock_.monotonicMSecs() - statusMono_ >= kStatusEveryMs || fileErrors_ >= kFailuresToReread;
    const QUrl url = fileUrl_.isEmpty() || reread ? options_.fetch.url : fileUrl_;
    worker_.Fetch(FeedRequest{++requestId_, url, traffic_.station(), forget_});
    forget_ = false;
}

void FeedController::schedule(int ms)
{
    if (running_)
        next_.start(ms);
}

std::string FeedController::take(FeedDelivery& d, std::string& outcome, bool& again)
{
    Fetched& f = d.fetched;
    if (!f.error.empty())
        return f.error;
    if (f.notModified) {
        if (answered_)
            return {};
        // No file to keep: ask once more without the validators, then name it.
        if (askedPlainly_ || !f.conditional)
            return "HTTP status 304 without a file";
        askedPlainly_ = true;
        forget_ = true;
        again = true;
        outcome = "no file yet, asked again without validators";
        return {};
    }
    Snapshot& s = *d.file;
    if (s.layout == Layout::Status) {
        if (f.url != options_.fetch.url)
            return "a status document in place of the data file";
        std::vector<QUrl> usable;
        for (const std::string& a : s.addresses)
            if (const QUrl u(QString::fromStdString(a), QUrl::StrictMode); UsableAddress(u))
                usable.push_back(u);
        if (usable.empty())
            return "the status document names no http(s) address of the data file";
        const auto pick = static_cast<std::size_t>(random_.next() * static_cast<double>(usable.size()));
        fileUrl_ = usable[std::min(pick, usable.size() - 1)];
        statusMono_ = clock_.monotonicMSecs();
        fileErrors_ = 0;
        again = true;
        outcome = "status document: " + fileUrl_.toString().toStdString();
        log("Data feed: the status document names " + fileUrl_.toString().toStdString());
        return {};
    }
    if (f.url == options_.fetch.url)
        fileUrl_.clear();                                       // FeedURL is the file itself
    const std::int64_t appliedMs = traffic_.latest().updatedMs; // 0: none, or without a time
    if (answered_ && s.updatedMs != 0 && s.updatedMs == appliedMs) {
        f.notModified = true; // a new copy of the same file
    } else if (appliedMs != 0 && s.updatedMs != 0 && s.updatedMs < appliedMs) {
        outcome = "an older file ignored"; // a server behind the others
    } else {
        applyFile(d);
    }
    return {};
}

void FeedController::Handle(FeedDelivery& d)
{
    if (!running_)
        return;
    Fetched& f = d.fetched;
    std::string outcome;
    bool again = false;
    const bool ofFile = f.url != options_.fetch.url;
    const std::string error = take(d, outcome, again);
    if (!error.empty()) {
        ++errors_;
        fileErrors_ += ofFile ? 1 : 0;
        error_ = error;
        const auto step = static_cast<std::size_t>(errors_ - 1);
        retryMs_ = options_.backoffMs.empty()         ? options_.intervalMs
                   : step < options_.backoffMs.size() ? options_.backoffMs[step]
                                                      : options_.backoffMs.back();
        // The server's word on when to come back stands over ours.
        retryMs_ = static_cast<int>(std::max<std::int64_t>(retryMs_, f.retryAfterMs));
        dump(f, error);
        log("Data feed: " + error);
        schedule(retryMs_);
    } else if (again) {
        dump(f, outcome);
        request(); // the file itself, at once
        return;
    } else {
        errors_ = 0;
        fileErrors_ = ofFile ? 0 : fileErrors_;
        error_.clear();
        dump(f, std::to_string(traffic_.size()) + " pilots kept" + (f.notModified ? ", unchanged" : "") +
                    (outcome.empty() ? "" : ", " + outcome));
        schedule(options_.intervalMs);
    }
    showState(true);
    checkClock(f); // after the state, which would hide it
}

void FeedController::applyFile(FeedDelivery& d)
{
    Snapshot& s = *d.file;
    // From here on the file's clock, not the PC's, measures every age.
    net_.FileArrived(s.updatedMs, d.fetched.serverMs);
    newFileMono_ = clock_.monotonicMSecs();
    const std::int64_t now = net_.NowMs();
    fileMs_ = s.updatedMs != 0 ? s.updatedMs : now;
    // Found near the station the worker was given; filtered again here if it has moved since.
    const bool sameStation = d.station == traffic_.station();
    const FeedTraffic::Changes changes = traffic_.Apply(std::move(s), sameStation ? &d.near : nullptr, now);
    d.file.reset();
    answered_ = true;
    askedPlainly_ = false;
    if (hooks_.apply)
        hooks_.apply(changes, false);
}

void FeedController::checkClock(const Fetched& f)
{
    if (f.serverMs == 0 || clockNamed_)
        return;
    const std::int64_t off = clock_.nowMSecs() - f.serverMs;
    if (std::abs(off) <= kClockToleranceMs)
        return;
    clockNamed_ = true;
    const std::string text = "The PC's clock is " + std::to_string((std::abs(off) + 500) / 1000) + " s " +
                             (off < 0 ? "behind" : "ahead of") +
                             " the data feed's server: set it right, the network's other programs need it too";
    if (hooks_.updateIcon)
        hooks_.updateIcon(text);
    // Logged whatever the debug setting: it explains what the controller's other programs do.
    if (hooks_.log)
        hooks_.log(text);
    else
        shell::WriteLog(text);
}

void FeedController::StationChanged()
{
    const std::optional<Station> station = hooks_.station ? hooks_.station() : std::nullopt;
    const FeedTraffic::Changes changes = traffic_.SetStation(station, net_.NowMs(), options_.intervalMs);
    if (hooks_.apply && (!changes.kept.empty() || !changes.dropped.empty()))
        hooks_.apply(changes, true);
}

void FeedController::tmrUpdate_Timer()
{
    if (!running_ && c_.chkAutoConnect.checked())
        Start();
    const std::int64_t mono = clock_.monotonicMSecs();
    if (mono - lastExpiryMono_ >= 1000) {
        lastExpiryMono_ = mono;
        const FeedTraffic::Changes changes = traffic_.Expire(net_.NowMs(), options_.intervalMs);
        if (!changes.dropped.empty() && hooks_.apply) {
            log("Data feed: " + std::to_string(changes.dropped.size()) + " pilots expired");
            hooks_.apply(changes, true);
        }
    }
    showState();
}

std::int64_t FeedController::SinceNewFileMs() const
{
    return startedOnce_ ? clock_.monotonicMSecs() - newFileMono_ : 0;
}

bool FeedController::starved() const
{
    // Nobody kept because every position near the station is too old, or no new file for so
    // long that every position must be: a frozen feed, not a quiet sky.
    return (traffic_.size() == 0 && traffic_.tooOld() > 0) || SinceNewFileMs() >= kNoNewFileMs;
}

std::string FeedController::StateText() const
{
    if (!running_)
        return "data feed: stopped";
    if (!error_.empty())
        return "data feed: " + error_ +
               (UsableAddress(options_.fetch.url) ? "; retrying in " + std::to_string(retryMs_ / 1000) + " s" : "");
    if (!answered_)
        return "data feed: connecting ...";
    const std::int64_t age = std::max<std::int64_t>(0, net_.NowMs() - fileMs_) / 1000;
    const std::string tooOld = traffic_.size() == 0 && traffic_.tooOld() > 0
                                   ? " (" + Thousands(static_cast<std::int64_t>(traffic_.tooOld())) + " too old)"
                                   : "";
    return "data feed: " + Thousands(static_cast<std::int64_t>(traffic_.size())) + " of " +
           Thousands(static_cast<std::int64_t>(traffic_.latest().pilots.size())) + " pilots within " +
           std::to_string(static_cast<int>(kRangeNm)) + " NM" + tooOld + ", " + std::to_string(age) + " s old";
}

platform::Picture FeedController::Light() const
{
    if (!running_ || !error_.empty())
        return Picture::Red;
    if (!answered_)
        return Picture::Yellow;
    return starved() ? Picture::Red : Picture::Green;
}

void FeedController::showState(bool tell)
{
    c_.cmdClose.setEnabled(running_);
    c_.cmdClose.setVisible(running_);
    c_.cmdConnect.setEnabled(!running_);
    c_.cmdConnect.setVisible(!running_);
    const Picture light = Light();
    const std::string text = StateText();
    c_.lblState.setPicture(light);
    c_.imgData.setPicture(light);
    c_.lblState.setToolTip(fileUrl_.isEmpty() ? text : text + " from " + fileUrl_.toString().toStdString());
    if (!tell)
        return;
    // The message line is shared: it is told of news, not of every second that passes.
    if (hooks_.updateIcon)
        hooks_.updateIcon(text);
}

} // namespace quadrantel::feed
