#pragma once

#include "feed/FeedParser.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quadrantel::feed {

inline constexpr double kRangeNm = 400;            // only pilots this close to the station are kept
inline constexpr std::int64_t kMaxAgeMs = 120'000; // an older position is dropped
inline constexpr int kMissesToDrop = 2;            // updates in a row a pilot may be missing from
inline constexpr double kMinProjectedKt = 40;      // slower: taxiing or standing, not moved
inline constexpr std::int64_t kMaxProjectMs = 60'000;

struct Station {
    double latitude = 0;
    double longitude = 0;
};

// Where a pilot is when a reading is made.
struct Projection {
    double latitude = 0;
    double longitude = 0;
    std::int64_t ageMs = 0;   // of the position it rests on; a time in the future counts as now
    std::int64_t movedMs = 0; // how far ahead it was moved along its track; 0: not moved
};

// An airborne pilot moved along his heading (taken as his true track) on the great circle
// from his position time to now (both on the network's clock), by at most a minute.
Projection Project(const Pilot& pilot, std::int64_t nowMs);
// "position 12 s old, projected", for the reading.
std::string FixNote(const Projection& projection);

// The pilots near the station from the latest file: what the traffic table is filled with.
// Every time here is on the network's clock.
class FeedTraffic {
public:
    struct Changes {
        std::vector<const Pilot*> kept;   // every pilot kept now; valid until the next change
        std::vector<std::string> dropped; // callsigns no longer kept
    };

    // A new file received at nowMs. Pilots without their own position time take the file's.
    Changes Apply(Snapshot snapshot, std::int64_t nowMs);
    // The station moved (or none is chosen): the latest file is filtered again.
    Changes SetStation(std::optional<Station> station, std::int64_t nowMs);
    // Drops the pilots whose position has grown too old while no file came; empty changes
    // (no kept list either) when none is dropped.
    Changes Expire(std::int64_t nowMs);

    const Pilot* Find(std::string_view callsign) const;
    std::size_t size() const { return kept_.size(); }
    // Pilots near the station not kept because their positions are too old.
    std::size_t tooOld() const { return tooOld_; }
    const Snapshot& latest() const { return latest_; }

private:
    struct Kept {
        Pilot pilot;
        int misses = 0;
    };
    bool Near(const Pilot& p) const;
    bool Fresh(const Pilot& p, std::int64_t nowMs) const { return nowMs - p.positionMs <= kMaxAgeMs; }
    Changes Collect(std::vector<std::string> dropped) const;

    Snapshot latest_;
    std::optional<Station> station_;
    std::size_t tooOld_ = 0;
    std::unordered_map<std::string, Kept> kept_; // by upper-case callsign
};

} // namespace quadrantel::feed
