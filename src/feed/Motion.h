#pragma once

#include "feed/FeedParser.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quadrantel::feed {

inline constexpr std::int64_t kMaxProjectMs = 60'000;     // no position is moved further in time
inline constexpr std::int64_t kMaxTaxiProjectMs = 15'000; // nor one on the ground
inline constexpr double kMinProjectedKt = 40;             // slower: on the ground
inline constexpr double kMaxTurnDegPerS = 6;
inline constexpr double kMaxWindKt = 100;              // an airspeed is never taken further from the ground speed
inline constexpr double kTurningDegPerS = 0.5;         // slower: as good as straight
inline constexpr std::int64_t kMinFixGapMs = 5'000;    // closer fixes say little of the track
inline constexpr std::int64_t kMaxFixSpanMs = 120'000; // older fixes say nothing of now

// A pilot's latest positions, each with its own time, newest last.
class Track {
public:
    struct Fix {
        std::int64_t ms = 0;
        double latitude = 0, longitude = 0;
        double headingDeg = -1; // below 0: not given
    };
    static constexpr std::size_t kKeep = 6;

    // A position newer than the last one is added; an older or the same one is not.
    void Add(const Pilot& pilot);
    std::size_t size() const { return size_; }
    // 0: the newest.
    const Fix& back(std::size_t k) const { return fixes_[(next_ + kKeep - 1 - k) % kKeep]; }

private:
    std::array<Fix, kKeep> fixes_{};
    std::size_t next_ = 0, size_ = 0;
};

// How a pilot moves, as far as his fixes tell: a way through the air, turning at a steady rate,
// carried by the wind. Without his nose the way over the ground stands for it, without a wind.
struct Motion {
    enum class Known { Nothing, Heading, Track };
    Known known = Known::Nothing;
    double headingDeg = 0;  // through the air, at his latest position
    double turnDegPerS = 0; // positive: to the right
    double airKt = 0;       // along headingDeg
    double windEastKt = 0, windNorthKt = 0;
    double speedKt = 0; // over the ground
};

Motion EstimateMotion(const Pilot& pilot, const Track& track);

// Where a pilot is when a reading is made.
struct Projection {
    double latitude = 0;
    double longitude = 0;
    std::int64_t ageMs = 0;   // of the position it rests on; a time in the future counts as now
    std::int64_t movedMs = 0; // how far ahead it was moved; 0: not moved
    Motion::Known along = Motion::Known::Nothing;
    bool inTurn = false; // not moved: in a turn, and too old to know where it led
};

// A pilot moved from his position time to now (both on the network's clock) along his track and
// turn as his fixes show them (his heading when they do not), by at most a minute (15 s on the
// ground); one in a turn whose position is older than that is not moved.
Projection Project(const Pilot& pilot, const Track& track, std::int64_t nowMs);
// "position 12 s old, projected", for the reading.
std::string FixNote(const Projection& projection);

} // namespace quadrantel::feed
