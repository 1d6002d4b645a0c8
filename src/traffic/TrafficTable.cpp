#include "traffic/TrafficTable.h"

#include "platform/Clock.h"
#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <exception>

namespace quadrantel::traffic {

namespace {

constexpr std::int64_t kNeverRefreshed = -9999;
constexpr std::int64_t kRefreshEvery = 10; // a rebuild when more than this has passed
constexpr std::int64_t kQuietLimit = 50;   // a link aircraft is dropped when quiet for longer

} // namespace

StripList RebuildStrips(KeyedCollection<std::string>& colCallsigns, KeyedCollection<Position>& colTraffic,
                        KeyedCollection<std::int64_t>& colLastSeen, std::int64_t now, std::string_view selectedText)
{
    const std::string_view remembered = selectedText.substr(0, selectedText.find(' '));

    std::vector<std::string> marked;
    for (const auto& entry : colCallsigns) {
        std::int64_t* seen = colLastSeen.find(entry.item);
        if (!seen)
            continue; // without a time it cannot be judged stale
        if (*seen > now)
            *seen = now; // the clock was stepped back: count the silence from now, not from the future
        const Position* record = colTraffic.find(entry.item);
        if (!record || (record->source == Source::Link && now - *seen > kQuietLimit))
            marked.push_back(entry.item);
    }
    for (const auto& callsign : marked) {
        colCallsigns.remove(callsign);
        colLastSeen.remove(callsign);
        colTraffic.remove(callsign);
    }

    StripList list;
    list.callsigns.reserve(colCallsigns.size());
    for (const auto& entry : colCallsigns) {
        list.callsigns.push_back(entry.item);
        if (!remembered.empty() && entry.item == remembered)
            list.reselect = list.callsigns.size() - 1;
    }
    return list;
}

TrafficTable::TrafficTable(const platform::Clock& clock, const QDateTime& dtStart)
    : clock_(clock), dtStartMs_(dtStart.toMSecsSinceEpoch())
{
}

std::int64_t TrafficTable::SecondsNow() const
{
    // dtStart is held in UTC, which gives the same count without a local-time conversion per call.
    return platform::SecondsBetween(dtStartMs_, clock_.nowMSecs());
}

void TrafficTable::Store(const Position& p, std::int64_t now)
{
    if (p.source != Source::Link) {
        const Position* held = colTraffic_.find(p.callsign);
        const std::int64_t* seen = colLastSeen_.find(p.callsign);
        if (held && held->source == Source::Link && seen && now - *seen <= kQuietLimit)
            return;
    }
    try {
        colCallsigns_.reappend(p.callsign).assign(p.callsign);
        colTraffic_.reappend(p.callsign) = p;
        colLastSeen_.reappend(p.callsign) = now;
    } catch (const std::exception& e) {
        // The next rebuild drops an aircraft left half-stored; the others go on.
        if (shell::globals().bDebug)
            shell::WriteLog(std::string("Traffic table: ") + e.what());
    }
}

void TrafficTable::Remove(std::string_view callsign, Source source)
{
    const Position* held = colTraffic_.find(callsign);
    if (!held || held->source != source)
        return;
    colCallsigns_.remove(callsign);
    colTraffic_.remove(callsign);
    colLastSeen_.remove(callsign);
}

std::optional<std::int64_t> TrafficTable::LastSeen(std::string_view callsign) const
{
    const std::int64_t* seen = colLastSeen_.find(callsign);
    return seen ? std::optional(*seen) : std::nullopt;
}

std::optional<StripList> TrafficTable::Refresh(const SelectionQuery& selectedStrip, std::int64_t now, bool force)
{
    if (force || !lastRefresh_ || *lastRefresh_ > now) // forced, never, or the clock went back
        lastRefresh_ = kNeverRefreshed;
    if (now - *lastRefresh_ <= kRefreshEvery)
        return std::nullopt;
    const std::string selected = selectedStrip ? selectedStrip() : std::string();
    StripList list = RebuildStrips(colCallsigns_, colTraffic_, colLastSeen_, now, selected);
    lastRefresh_ = now;
    return list;
}

} // namespace quadrantel::traffic
