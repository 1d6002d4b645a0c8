#include "feed/FeedSource.h"

#include "gonio/Geodesy.h"
#include "platform/RuntimeError.h"
#include "shell/TextRoutines.h"

namespace quadrantel::feed {

namespace {

traffic::Position PositionOf(const Pilot& p)
{
    traffic::Position out;
    out.callsign = p.callsign;
    out.latitude = p.latitude;
    out.longitude = p.longitude;
    out.altitudeFt = p.altitudeFt; // none: unknown, never taken for the ground
    if (p.groundSpeedKt >= 0)
        out.speedKt = p.groundSpeedKt;
    if (p.headingDeg >= 0)
        out.headingDeg = p.headingDeg;
    out.timeMs = p.positionMs;
    out.source = traffic::Source::Feed;
    return out;
}

} // namespace

std::optional<Station> StationOf(std::string id)
{
    shell::TakeToken(id, " ");
    if (id.size() < 29)
        return std::nullopt;
    try {
        return Station{gonio::CoordinateToDecimal(id.substr(0, 14), gonio::Axis::Latitude),
                       gonio::CoordinateToDecimal(id.substr(15), gonio::Axis::Longitude)};
    } catch (const std::exception&) {
        return std::nullopt; // a hand-edited Id: no station rather than no window
    }
}

FeedSource::FeedSource(FeedController::Controls controls, platform::Label& lblError, FeedOptions options,
                       const platform::Clock& clock, platform::Random& random, traffic::TrafficTable& table,
                       Hooks hooks)
    : lblError_(lblError), table_(table), hooks_(std::move(hooks)),
      controller_(controls, std::move(options), clock, random,
                  FeedController::Hooks{
                      .station = [this] { return StationOf(hooks_.stationId ? hooks_.stationId() : std::string()); },
                      .apply = [this](const FeedTraffic::Changes& c, bool now) { apply(c, now); },
                      .updateIcon =
                          [this](const std::string& m) {
                              if (hooks_.updateIcon)
                                  hooks_.updateIcon(m);
                          },
                      .dump = nullptr,
                      .log = nullptr})
{
}

void FeedSource::Tick()
{
    const std::string station = hooks_.stationId ? hooks_.stationId() : std::string();
    if (station != station_) {
        station_ = station;
        controller_.StationChanged();
    }
    controller_.tmrUpdate_Timer();
}

void FeedSource::apply(const FeedTraffic::Changes& changes, bool now)
{
    const std::int64_t seconds = table_.SecondsNow();
    for (const std::string& callsign : changes.dropped)
        table_.Remove(callsign, traffic::Source::Feed);
    // Only what moved; and whom the table lost while the link relayed him.
    for (const Pilot* p : changes.changed)
        table_.Store(PositionOf(*p), seconds);
    for (const Pilot* p : changes.kept)
        if (!table_.Contains(p->callsign))
            table_.Store(PositionOf(*p), seconds);
    platform::IgnoreErrors([&] {
        if (auto strips = table_.Refresh(hooks_.selectedStrip, seconds, now); strips && hooks_.applyStrips)
            hooks_.applyStrips(*strips);
    });
}

void FeedSource::NoDataCheck(bool)
{
    // The feed's light already says when its files stop; the message line says so only when true.
    const std::int64_t quiet = controller_.SinceNewFileMs();
    if (quiet >= kNoNewFileMs)
        lblError_.setCaption("data feed: no new file for " + std::to_string(quiet / 60'000) + " min");
    else
        lblError_.setCaption("Waiting ... ");
}

std::optional<traffic::Fix> FeedSource::FixOf(const std::string& callsign) const
{
    const Pilot* p = controller_.traffic().Find(callsign);
    if (!p)
        return std::nullopt;
    // Where the aircraft is now, not where the file saw it.
    const Projection moved = *controller_.traffic().ProjectNow(callsign, controller_.NetworkNowMs());
    traffic::Fix fix{PositionOf(*p), FixNote(moved)};
    fix.position.latitude = moved.latitude;
    fix.position.longitude = moved.longitude;
    return fix;
}

} // namespace quadrantel::feed
