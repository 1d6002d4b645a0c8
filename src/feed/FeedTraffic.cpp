#include "feed/FeedTraffic.h"

#include "gonio/Geodesy.h"
#include "platform/Runtime.h"

#include <algorithm>
#include <cmath>

namespace quadrantel::feed {

Projection Project(const Pilot& p, std::int64_t nowMs)
{
    Projection fix{p.latitude, p.longitude, std::max<std::int64_t>(0, nowMs - p.positionMs), 0};
    if (p.groundSpeedKt < kMinProjectedKt || p.headingDeg < 0 || fix.ageMs == 0)
        return fix;
    fix.movedMs = std::min(fix.ageMs, kMaxProjectMs);
    const double nm = p.groundSpeedKt * static_cast<double>(fix.movedMs) / 3'600'000.0;
    try {
        gonio::Destination(p.latitude, p.longitude, p.headingDeg, nm, fix.latitude, fix.longitude);
    } catch (const std::exception&) {
        fix = Projection{p.latitude, p.longitude, fix.ageMs, 0};
    }
    return fix;
}

std::string FixNote(const Projection& fix)
{
    std::string note = "position " + std::to_string(fix.ageMs / 1000) + " s old";
    if (fix.movedMs == 0)
        return note;
    if (fix.movedMs < fix.ageMs)
        return note + ", projected " + std::to_string(fix.movedMs / 1000) + " s";
    return note + ", projected";
}

bool FeedTraffic::Near(const Pilot& p) const
{
    if (!station_)
        return false;
    try {
        return gonio::Posdist(station_->latitude, station_->longitude, p.latitude, p.longitude) <= kRangeNm;
    } catch (const std::exception&) {
        return false;
    }
}

FeedTraffic::Changes FeedTraffic::Collect(std::vector<std::string> dropped) const
{
    Changes c;
    c.kept.reserve(kept_.size());
    for (const auto& k : kept_)
        c.kept.push_back(&k.second.pilot);
    // Oldest position first, as the link's table orders its aircraft.
    std::stable_sort(c.kept.begin(), c.kept.end(),
                     [](const Pilot* a, const Pilot* b) { return a->positionMs < b->positionMs; });
    c.dropped = std::move(dropped);
    return c;
}

FeedTraffic::Changes FeedTraffic::Apply(Snapshot snapshot, std::int64_t nowMs)
{
    latest_ = std::move(snapshot);
    const std::int64_t fileMs = latest_.updatedMs != 0 ? latest_.updatedMs : nowMs;
    for (Pilot& p : latest_.pilots)
        if (p.positionMs == 0)
            p.positionMs = fileMs;

    for (auto& k : kept_)
        ++k.second.misses;
    tooOld_ = 0;
    for (const Pilot& p : latest_.pilots) {
        std::string key = platform::UCase(p.callsign);
        const bool near = Near(p);
        if (near && Fresh(p, nowMs))
            kept_[std::move(key)] = Kept{p, 0};
        else if (const auto it = kept_.find(key); it != kept_.end())
            it->second.misses = kMissesToDrop; // there, but out of reach: gone at once
        tooOld_ += near && !Fresh(p, nowMs) ? 1 : 0;
    }
    std::vector<std::string> dropped;
    for (auto it = kept_.begin(); it != kept_.end();) {
        // Missing once may be the network's hiccup; twice, he has gone.
        if (it->second.misses >= kMissesToDrop || !Fresh(it->second.pilot, nowMs)) {
            dropped.push_back(it->second.pilot.callsign);
            it = kept_.erase(it);
        } else {
            ++it;
        }
    }
    return Collect(std::move(dropped));
}

FeedTraffic::Changes FeedTraffic::SetStation(std::optional<Station> station, std::int64_t nowMs)
{
    station_ = station;
    std::unordered_map<std::string, Kept> was;
    was.swap(kept_);
    tooOld_ = 0;
    for (const Pilot& p : latest_.pilots) {
        if (!Near(p))
            continue;
        if (Fresh(p, nowMs))
            kept_[platform::UCase(p.callsign)] = Kept{p, 0};
        else
            ++tooOld_;
    }
    std::vector<std::string> dropped;
    for (const auto& w : was)
        if (!kept_.count(w.first))
            dropped.push_back(w.second.pilot.callsign);
    return Collect(std::move(dropped));
}

FeedTraffic::Changes FeedTraffic::Expire(std::int64_t nowMs)
{
    std::vector<std::string> dropped;
    std::erase_if(kept_, [&](const auto& k) {
        if (Fresh(k.second.pilot, nowMs))
            return false;
        dropped.push_back(k.second.pilot.callsign);
        return true;
    });
    if (dropped.empty())
        return {}; // checked every second: nothing to hand on, nothing to sort
    tooOld_ += dropped.size();
    return Collect(std::move(dropped));
}

const Pilot* FeedTraffic::Find(std::string_view callsign) const
{
    const auto it = kept_.find(platform::UCase(callsign));
    return it == kept_.end() ? nullptr : &it->second.pilot;
}

} // namespace quadrantel::feed
