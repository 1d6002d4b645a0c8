#include "feed/FeedController.h"

#include "platform/Clock.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <QDateTime>

#include <cstdlib>

namespace quadrantel::feed {

using platform::Picture;

FeedController::FeedController(Controls controls, FeedOptions options, const platform::Clock& clock, Hooks hooks)
    : c_(controls), options_(std::move(options)), clock_(clock), hooks_(std::move(hooks)),
      fetcher_(options_.fetch,
               [this](Fetched& f) {
                   // Qt's own work on the last piece of the file and the parse are two stops of the
                   // thread, not one: the answer is taken on the next turn of the event loop.
                   pending_ = std::move(f);
                   QTimer::singleShot(0, &next_, [this] { Handle(pending_); });
               }),
      net_(clock)
{
    next_.setSingleShot(true);
    QObject::connect(&next_, &QTimer::timeout, &next_, [this] {
        if (running_)
            fetcher_.Fetch();
    });
}

FeedController::~FeedController()
{
    next_.stop();
    fetcher_.Abort();
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
    errors_ = 0;
    error_.clear();
    if (!startedOnce_) {
        startedOnce_ = true;
        newFileMono_ = clock_.monotonicMSecs();
    }
    log("Data feed started: " + options_.fetch.url.toString().toStdString());
    fetcher_.Fetch();
    showState(true);
}

void FeedController::Stop()
{
    if (!running_)
        return;
    running_ = false;
    next_.stop();
    fetcher_.Abort();
    log("Data feed stopped");
    showState(true);
}

void FeedController::cmdClose_Click()
{
    // As with the link: a user who stops it does not want it started again behind his back.
    c_.chkAutoConnect.setValue(0);
    Stop();
}

void FeedController::schedule(int ms)
{
    if (running_)
        next_.start(ms);
}

void FeedController::Handle(Fetched& f)
{
    if (!running_)
        return;
    std::string error = f.error;
    if (error.empty() && !f.notModified) {
        if (!parser_.Parse(std::string_view(f.body.constData(), static_cast<std::size_t>(f.body.size())), scratch_,
                           error)) {
            fetcher_.ForgetValidators(); // the same bad file must not come back as "unchanged"
        } else if (answered_ && scratch_.updatedMs != 0 && scratch_.updatedMs == traffic_.latest().updatedMs) {
            f.notModified = true; // a new copy of the same file
        } else {
            applyFile(f);
        }
    }
    f.body = QByteArray();
    if (!error.empty()) {
        ++errors_;
        error_ = error;
        const auto step = static_cast<std::size_t>(errors_ - 1);
        retryMs_ = options_.backoffMs.empty()         ? options_.intervalMs
                   : step < options_.backoffMs.size() ? options_.backoffMs[step]
                                                      : options_.backoffMs.back();
        dump(f, error);
        log("Data feed: " + error);
        schedule(retryMs_);
    } else {
        errors_ = 0;
        error_.clear();
        dump(f, std::to_string(traffic_.size()) + " pilots kept" + (f.notModified ? ", unchanged" : ""));
        schedule(options_.intervalMs);
    }
    showState(true);
    checkClock(f); // after the state, which would hide it
}

void FeedController::applyFile(Fetched& f)
{
    // From here on the file's clock, not the PC's, measures every age.
    net_.FileArrived(scratch_.updatedMs, f.serverMs);
    newFileMono_ = clock_.monotonicMSecs();
    const std::int64_t now = net_.NowMs();
    fileMs_ = scratch_.updatedMs != 0 ? scratch_.updatedMs : now;
    const FeedTraffic::Changes changes = traffic_.Apply(std::move(scratch_), now);
    scratch_ = Snapshot{};
    answered_ = true;
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
    const FeedTraffic::Changes changes = traffic_.SetStation(station, net_.NowMs());
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
        const FeedTraffic::Changes changes = traffic_.Expire(net_.NowMs());
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
        return "data feed: " + error_ + "; retrying in " + std::to_string(retryMs_ / 1000) + " s";
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
    c_.lblState.setToolTip(text);
    if (!tell)
        return;
    // The message line is shared: it is told of news, not of every second that passes.
    if (hooks_.updateIcon)
        hooks_.updateIcon(text);
}

} // namespace quadrantel::feed
