#pragma once

#include "traffic/KeyedCollection.h"
#include "traffic/Position.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrantel::platform {
class Clock;
}

namespace quadrantel::traffic {

// What the window applies to lstStrips after a rebuild.
struct StripList {
    std::vector<std::string> callsigns;  // in table order
    std::optional<std::size_t> reselect; // entry to select again
    bool operator==(const StripList&) const = default;
};

// Drops stale and incomplete aircraft and lists the rest. `now` is the current seconds
// count; `selectedText` the text of the selected strip (empty when none). Only the link's
// aircraft go quiet here: the data feed drops its own.
StripList RebuildStrips(KeyedCollection<std::string>& colCallsigns, KeyedCollection<Position>& colTraffic,
                        KeyedCollection<std::int64_t>& colLastSeen, std::int64_t now, std::string_view selectedText);

// The aircraft every position source fills, by callsign: the latest position of each, the
// order of their updates, and when each was last stored; the strip list is made from it.
class TrafficTable {
public:
    // Asked for the selected strip's text only when the list is rebuilt.
    using SelectionQuery = std::function<std::string()>;

    TrafficTable(const platform::Clock& clock, const QDateTime& dtStart);

    // Whole seconds since dtStart: the time the table counts in.
    std::int64_t SecondsNow() const;

    // Stores the position under its callsign, seen at `now`, as the newest entry. While the link
    // relays an aircraft its position is kept over the feed's: it is the fresher.
    void Store(const Position& position, std::int64_t now);
    // Forgets the aircraft when its stored position is of that source.
    void Remove(std::string_view callsign, Source source);
    // The strip list, rebuilt when more than 10 s have passed since the last rebuild (or the
    // clock went back), or at once when forced.
    [[nodiscard]] std::optional<StripList> Refresh(const SelectionQuery& selectedStrip, std::int64_t now,
                                                   bool force = false);

    // Reading the table. Lookups ignore letter case.
    bool Contains(std::string_view callsign) const { return colTraffic_.contains(callsign); }
    // The aircraft's position; nullptr for an unknown callsign. Valid until the next store.
    const Position* Record(std::string_view callsign) const { return colTraffic_.find(callsign); }
    // Seconds count of the aircraft's latest store.
    std::optional<std::int64_t> LastSeen(std::string_view callsign) const;

    const KeyedCollection<std::string>& colCallsigns() const { return colCallsigns_; }
    const KeyedCollection<Position>& colTraffic() const { return colTraffic_; }
    const KeyedCollection<std::int64_t>& colLastSeen() const { return colLastSeen_; }
    // Seconds count of the last rebuild; nothing before the first one.
    std::optional<std::int64_t> LastRefresh() const { return lastRefresh_; }

private:
    const platform::Clock& clock_;
    qint64 dtStartMs_;
    std::optional<std::int64_t> lastRefresh_;

    KeyedCollection<std::string> colCallsigns_;
    KeyedCollection<Position> colTraffic_;
    KeyedCollection<std::int64_t> colLastSeen_;
};

} // namespace quadrantel::traffic
