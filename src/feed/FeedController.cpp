#include "feed/FeedController.h"

#include "platform/Clock.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <QDateTime>

namespace quadrantel::feed {

using platform::Picture;

FeedController::FeedController(Controls controls, FeedOptions options, const platform::Clock& clock, Hooks hooks)
    : c_(controls), options_(std::move(options)), clock_(clock), hooks_(std::move(hooks)),
      fetcher_(options_.fetch, [this](Fetched& f) {
          // Qt's own work on the last piece of the file and the parse are two stops of the
          // thread, not one: the answer is taken on the next turn of the event loop.
          pending_ = std::move(f);
          QTimer::singleShot(0, &next_, [this] { Handle(pending_); });
      })
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
    const std::int64_t now = clock_.nowMSecs();
    std::string error = f.error;
    if (error.empty() && !f.notModified) {
        if (!parser_.Parse(std::string_view(f.body.constData(), static_cast<std::size_t>(f.body.size())), scratch_,
                           error)) {
            fetcher_.ForgetValidators(); // the same bad file must not come back as "unchanged"
        } else if (answered_ && scratch_.updatedMs != 0 && scratch_.updatedMs == traffic_.latest().updatedMs) {
            f.notModified = true; // a new copy of the same file
        } else {
            fileMs_ = scratch_.updatedMs != 0 ? std::min(scratch_.updatedMs, now) : now;
            const FeedTraffic::Changes changes = traffic_.Apply(std::move(scratch_), now);
            scratch_ = Snapshot{};
            answered_ = true;
            if (hooks_.apply)
                hooks_.apply(changes, false);
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
}

void FeedController::StationChanged()
{
    const std::optional<Station> station = hooks_.station ? hooks_.station() : std::nullopt;
    const FeedTraffic::Changes changes = traffic_.SetStation(station, clock_.nowMSecs());
    if (hooks_.apply && (!changes.kept.empty() || !changes.dropped.empty()))
        hooks_.apply(changes, true);
}

void FeedController::tmrUpdate_Timer()
{
    if (!running_ && c_.chkAutoConnect.checked())
        Start();
    const std::int64_t now = clock_.nowMSecs();
    if (now - lastExpiryMs_ >= 1000 || now < lastExpiryMs_) {
        lastExpiryMs_ = now;
        const FeedTraffic::Changes changes = traffic_.Expire(now);
        if (!changes.dropped.empty() && hooks_.apply) {
            log("Data feed: " + std::to_string(changes.dropped.size()) + " pilots expired");
            hooks_.apply(changes, true);
        }
    }
    showState();
}

std::string FeedController::StateText() const
{
    if (!running_)
        return "data feed: stopped";
    if (!error_.empty())
        return "data feed: " + error_ + "; retrying in " + std::to_string(retryMs_ / 1000) + " s";
    if (!answered_)
        return "data feed: connecting ...";
    const std::int64_t age = std::max<std::int64_t>(0, clock_.nowMSecs() - fileMs_) / 1000;
    return "data feed: " + Thousands(static_cast<std::int64_t>(traffic_.latest().pilots.size())) + " pilots, " +
           std::to_string(age) + " s old";
}

void FeedController::showState(bool tell)
{
    c_.cmdClose.setEnabled(running_);
    c_.cmdClose.setVisible(running_);
    c_.cmdConnect.setEnabled(!running_);
    c_.cmdConnect.setVisible(!running_);
    const Picture light = !running_ || !error_.empty() ? Picture::Red : answered_ ? Picture::Green : Picture::Yellow;
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

std::optional<Fix> FeedController::FixOf(const std::string& callsign) const
{
    const Pilot* p = traffic_.Find(callsign);
    if (!p)
        return std::nullopt;
    return Project(*p, clock_.nowMSecs());
}

} // namespace quadrantel::feed
