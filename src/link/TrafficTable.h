#pragma once

#include "link/KeyedCollection.h"

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

namespace quadrantel::link {

// Fields of a TrafficRecord, counted from 1 (TAB-separated).
inline constexpr long kFieldCallsign = 1;
inline constexpr long kFieldCode = 2;
inline constexpr long kFieldAltitude = 3;
inline constexpr long kFieldLatitude = 5;
inline constexpr long kFieldLongitude = 6;

// The longest unfinished line kept while waiting for its line end.
inline constexpr std::size_t kMaxPendingLine = std::size_t{64} * 1024;

// Builds the TAB-separated record of one position line ("@...:callsign:code:...").
void BuildTrafficRecord(std::string_view positionLine, std::string& record);
std::string TrafficRecord(std::string_view positionLine);

// Field n (from 1) of a record; empty when it has fewer fields.
std::string RecordField(std::string_view record, long n);

// What the window applies to lstStrips after a rebuild.
struct StripList {
    std::vector<std::string> callsigns;  // in table order
    std::optional<std::size_t> reselect; // entry to select again
    bool operator==(const StripList&) const = default;
};

// Drops stale and incomplete aircraft and lists the rest. `now` is the current seconds
// count; `selectedText` the text of the selected strip (empty when none).
StripList RebuildStrips(KeyedCollection<std::string>& colCallsigns, KeyedCollection<std::string>& colTraffic,
                        KeyedCollection<std::int64_t>& colLastSeen, std::int64_t now, std::string_view selectedText);

// The traffic table fed by the network data: every position line stored under its
// callsign, every line dumped, aircraft forgotten once quiet for over 50 seconds.
class TrafficTable {
public:
    // Receives the dump lines of one block, each ended by CR LF, in one call.
    using DumpSink = std::function<void(std::string_view lines)>;
    // Asked for the selected strip's text only when the list is rebuilt.
    using SelectionQuery = std::function<std::string()>;

    static DumpSink DailyDump(); // the day's dump file

    TrafficTable(const platform::Clock& clock, const QDateTime& dtStart, DumpSink dump = DailyDump());

    // Processes one received block. Returns the new strip list when a rebuild was due.
    [[nodiscard]] std::optional<StripList> Elabora(std::string_view sOrvantaData,
                                                   const SelectionQuery& selectedStrip = {});

    // An aircraft from another position source, stored as a position line would store it
    // (not dumped). Texts as the line carries them: latitude and longitude in decimal degrees,
    // altitude in feet.
    struct Position {
        std::string_view callsign, code, latitude, longitude, altitude, speed;
    };
    void Store(const Position& position);
    void Remove(std::string_view callsign);
    // The strip list after stores: rebuilt when due as after a block, or at once.
    [[nodiscard]] std::optional<StripList> Refresh(const SelectionQuery& selectedStrip, bool now = false);

    // Forgets an unfinished line: a new connection's first line must not be glued to the tail
    // that the last one left.
    void DropUnfinishedLine();

    // Reading the table. Lookups ignore letter case.
    bool Contains(std::string_view callsign) const { return colTraffic_.contains(callsign); }
    // The aircraft's record; nullptr for an unknown callsign. Valid until the next Elabora.
    const std::string* Record(std::string_view callsign) const { return colTraffic_.find(callsign); }
    // A field of the aircraft's record; nothing for an unknown callsign.
    std::optional<std::string> Field(std::string_view callsign, long n) const;
    // Seconds count of the aircraft's latest position line, formatted "0000000".
    std::optional<std::string> LastSeenText(std::string_view callsign) const;

    const KeyedCollection<std::string>& colCallsigns() const { return colCallsigns_; }
    const KeyedCollection<std::string>& colTraffic() const { return colTraffic_; }
    const KeyedCollection<std::int64_t>& colLastSeen() const { return colLastSeen_; }
    const std::string& sRest() const { return rest_; }
    // Seconds count of the last rebuild; nothing before the first one.
    std::optional<std::int64_t> LastRefresh() const { return lastRefresh_; }

private:
    void HandleLine(std::string_view line);
    void Hold(std::string_view tail);
    std::size_t SkipOverlong(std::string_view data);
    std::optional<StripList> RefreshIfDue(const SelectionQuery& selectedStrip);

    const platform::Clock& clock_;
    qint64 dtStartMs_;
    DumpSink dump_;

    std::string rest_;       // unfinished last line, LFs removed
    bool skipping_ = false;  // dropping an overlong line up to its CR LF
    bool skippedCr_ = false; // ... whose last dropped byte was a CR
    std::string dumpBuffer_; // this block's dump lines
    std::string scratch_;    // a line put together from pieces
    std::int64_t blockNow_ = 0;
    std::optional<std::int64_t> lastRefresh_;

    KeyedCollection<std::string> colCallsigns_;
    KeyedCollection<std::string> colTraffic_;
    KeyedCollection<std::int64_t> colLastSeen_;
};

} // namespace quadrantel::link
