#pragma once

#include "traffic/TrafficTable.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quadrantel::link {

// The longest unfinished line kept while waiting for its line end.
inline constexpr std::size_t kMaxPendingLine = std::size_t{64} * 1024;

// The position of a line "@<kind>:callsign:code:x:latitude:longitude:altitude:speed:...",
// taken at `timeMs`. A missing or empty altitude or speed is unknown; a missing coordinate 0.
void ParsePositionLine(std::string_view line, std::int64_t timeMs, traffic::Position& out);

// The network data the link receives: cut into lines at CR LF, every line dumped, every
// position line stored in the traffic table by callsign.
class LinkData {
public:
    // Receives the dump lines of one block, each ended by CR LF, in one call.
    using DumpSink = std::function<void(std::string_view lines)>;

    static DumpSink DailyDump(); // the day's dump file

    LinkData(traffic::TrafficTable& table, const platform::Clock& clock, DumpSink dump = DailyDump());

    // Processes one received block. Returns the new strip list when a rebuild was due.
    [[nodiscard]] std::optional<traffic::StripList>
    Elabora(std::string_view sOrvantaData, const traffic::TrafficTable::SelectionQuery& selectedStrip = {});

    // Forgets an unfinished line: a new connection's first line must not be glued to the tail
    // that the last one left.
    void DropUnfinishedLine();

    const std::string& sRest() const { return rest_; }
    traffic::TrafficTable& table() { return table_; }

private:
    void HandleLine(std::string_view line);
    void Hold(std::string_view tail);
    std::size_t SkipOverlong(std::string_view data);

    traffic::TrafficTable& table_;
    const platform::Clock& clock_;
    DumpSink dump_;

    std::string rest_;       // unfinished last line, LFs removed
    bool skipping_ = false;  // dropping an overlong line up to its CR LF
    bool skippedCr_ = false; // ... whose last dropped byte was a CR
    std::string dumpBuffer_; // this block's dump lines
    std::string scratch_;    // a line put together from pieces
    traffic::Position position_;
    std::int64_t blockNow_ = 0;
    std::int64_t blockMs_ = 0;
};

} // namespace quadrantel::link
