#pragma once

#include "feed/FeedParser.h"
#include "feed/Motion.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quadrantel::feed {

inline constexpr double kRangeNm = 400;            // only pilots this close to the station are kept
inline constexpr std::int64_t kMaxAgeMs = 120'000; // a position older than its file by more is dropped

struct Station {
    double latitude = 0;
    double longitude = 0;
    bool operator==(const Station&) const = default;
};

// Whether the pilot is within kRangeNm of the station.
bool Near(const Station& station, const Pilot& pilot);

// The pilots near the station from the latest file: what the traffic table is filled with, and
// each one's track from his positions in the files before. Every time here is on the network's
// clock.
class FeedTraffic {
public:
    struct Changes {
        std::vector<const Pilot*> kept;    // every pilot kept now; valid until the next change
        std::vector<const Pilot*> changed; // of those, the ones with a new position, oldest first
        std::vector<std::string> dropped;  // callsigns no longer kept
    };

    // A newer file received at nowMs, whose pilots near the station are at `near` (indices into
    // its pilots; none: found here). A pilot the file lacks is dropped, as is one whose position
    // is too much older than the file; one without his own position time takes the file's.
    Changes Apply(Snapshot snapshot, const std::vector<std::size_t>* near, std::int64_t nowMs);
    // The station moved (or none is chosen): the latest file is filtered again.
    Changes SetStation(std::optional<Station> station, std::int64_t nowMs, std::int64_t intervalMs);
    // Drops the pilots whose position has grown too old because no newer file came: older than
    // kMaxAgeMs beyond the interval between files. Empty changes (no kept list either) when none is.
    Changes Expire(std::int64_t nowMs, std::int64_t intervalMs);

    const Pilot* Find(std::string_view callsign) const;
    // Where the pilot is at nowMs; none when he is not kept.
    std::optional<Projection> ProjectNow(std::string_view callsign, std::int64_t nowMs) const;
    std::size_t size() const { return kept_.size(); }
    // Pilots near the station not kept because their positions are too old.
    std::size_t tooOld() const { return tooOld_; }
    const Snapshot& latest() const { return latest_; }
    const std::optional<Station>& station() const { return station_; }

private:
    struct Kept {
        Pilot pilot;
        Track track;
        std::uint64_t seen = 0; // the file that last had him
    };
    Changes DropUnseen(std::vector<const Pilot*> changed);
    Changes Collect(std::vector<const Pilot*> changed, std::vector<std::string> dropped) const;
    // The latest file's own time; nowMs when it gives none.
    std::int64_t FileMs(std::int64_t nowMs) const;
    // Too old to keep: more than kMaxAgeMs older than the file he came in, or than now beyond
    // the interval between files (no newer file came).
    static bool OlderThanItsFile(const Pilot& p, std::int64_t fileMs);
    static bool Expired(const Pilot& p, std::int64_t nowMs, std::int64_t intervalMs);
    // Keeps the pilot of the latest file; one whose position is new goes into `changed`.
    void Keep(const Pilot& p, std::vector<const Pilot*>& changed);

    Snapshot latest_;
    std::uint64_t file_ = 0;
    std::optional<Station> station_;
    std::size_t tooOld_ = 0;
    std::unordered_map<std::string, Kept> kept_; // by upper-case callsign
};

} // namespace quadrantel::feed
