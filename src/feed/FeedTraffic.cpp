#include "feed/FeedTraffic.h"

#include "gonio/Geodesy.h"
#include "platform/Runtime.h"

#include <algorithm>
#include <cmath>

namespace quadrantel::feed {

bool Near(const Station& station, const Pilot& p)
{
    try {
        return gonio::Posdist(station.latitude, station.longitude, p.latitude, p.longitude) <= kRangeNm;
    } catch (const std::exception&) {
        return false;
    }
}

// Whom the last file lacks, or has out of reach or too old, is gone.
FeedTraffic::Changes FeedTraffic::DropUnseen(std::vector<const Pilot*> changed)
{
    std::vector<std::string> dropped;
    std::erase_if(kept_, [&](const auto& k) {
        if (k.second.seen == file_)
            return false;
        dropped.push_back(k.second.pilot.callsign);
        return true;
    });
    return Collect(std::move(changed), std::move(dropped));
}

FeedTraffic::Changes FeedTraffic::Collect(std::vector<const Pilot*> changed, std::vector<std::string> dropped) const
{
    Changes c;
    c.kept.reserve(kept_.size());
    for (const auto& k : kept_)
        c.kept.push_back(&k.second.pilot);
    // Oldest position first, as the link's table orders its aircraft.
    std::stable_sort(changed.begin(), changed.end(),
                     [](const Pilot* a, const Pilot* b) { return a->positionMs < b->positionMs; });
    c.changed = std::move(changed);
    c.dropped = std::move(dropped);
    return c;
}

std::int64_t FeedTraffic::FileMs(std::int64_t nowMs) const
{
    return latest_.updatedMs != 0 ? latest_.updatedMs : nowMs;
}

bool FeedTraffic::OlderThanItsFile(const Pilot& p, std::int64_t fileMs)
{
    return fileMs - p.positionMs > kMaxAgeMs;
}

bool FeedTraffic::Expired(const Pilot& p, std::int64_t nowMs, std::int64_t intervalMs)
{
    return nowMs - p.positionMs > kMaxAgeMs + intervalMs;
}

void FeedTraffic::Keep(const Pilot& p, std::vector<const Pilot*>& changed)
{
    auto [it, added] = kept_.try_emplace(platform::UCase(p.callsign));
    Kept& k = it->second;
    const bool moved = added || k.pilot.positionMs != p.positionMs || k.pilot.latitude != p.latitude ||
                       k.pilot.longitude != p.longitude;
    k.pilot = p;
    k.track.Add(p);
    k.seen = file_;
    if (moved)
        changed.push_back(&k.pilot);
}

FeedTraffic::Changes FeedTraffic::Apply(Snapshot snapshot, const std::vector<std::size_t>* near, std::int64_t nowMs)
{
    latest_ = std::move(snapshot);
    ++file_;
    const std::int64_t fileMs = FileMs(nowMs);
    tooOld_ = 0;
    std::vector<const Pilot*> changed;
    const auto take = [&](Pilot& p) {
        if (p.positionMs == 0)
            p.positionMs = fileMs;
        if (OlderThanItsFile(p, fileMs))
            ++tooOld_;
        else
            Keep(p, changed);
    };
    if (near) {
        for (const std::size_t i : *near)
            take(latest_.pilots[i]);
    } else if (station_) {
        for (Pilot& p : latest_.pilots)
            if (Near(*station_, p))
                take(p);
    }
    return DropUnseen(std::move(changed));
}

FeedTraffic::Changes FeedTraffic::SetStation(std::optional<Station> station, std::int64_t nowMs,
                                             std::int64_t intervalMs)
{
    station_ = station;
    ++file_;
    tooOld_ = 0;
    const std::int64_t fileMs = FileMs(nowMs);
    std::vector<const Pilot*> changed;
    if (station_) {
        for (const Pilot& p : latest_.pilots) {
            if (!Near(*station_, p))
                continue;
            if (OlderThanItsFile(p, fileMs) || Expired(p, nowMs, intervalMs))
                ++tooOld_;
            else
                Keep(p, changed);
        }
    }
    return DropUnseen(std::move(changed));
}

FeedTraffic::Changes FeedTraffic::Expire(std::int64_t nowMs, std::int64_t intervalMs)
{
    std::vector<std::string> dropped;
    std::erase_if(kept_, [&](const auto& k) {
        if (!Expired(k.second.pilot, nowMs, intervalMs))
            return false;
        dropped.push_back(k.second.pilot.callsign);
        return true;
    });
    if (dropped.empty())
        return {}; // checked every second: nothing to hand on, nothing to sort
    tooOld_ += dropped.size();
    return Collect({}, std::move(dropped));
}

const Pilot* FeedTraffic::Find(std::string_view callsign) const
{
    const auto it = kept_.find(platform::UCase(callsign));
    return it == kept_.end() ? nullptr : &it->second.pilot;
}

std::optional<Projection> FeedTraffic::ProjectNow(std::string_view callsign, std::int64_t nowMs) const
{
    const auto it = kept_.find(platform::UCase(callsign));
    if (it == kept_.end())
        return std::nullopt;
    return Project(it->second.pilot, it->second.track, nowMs);
}

} // namespace quadrantel::feed
