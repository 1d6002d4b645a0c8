#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quadrantel::traffic {

// Where an aircraft's position came from.
enum class Source { Link, Feed };

// One aircraft's position as a source reports it: the traffic table's record. Numbers, never
// text: nothing a pilot types can shift one field into another.
struct Position {
    std::string callsign;
    double latitude = 0;  // degrees, north positive
    double longitude = 0; // degrees, east positive
    std::optional<double> altitudeFt;
    std::optional<double> speedKt;
    std::optional<double> headingDeg; // true, 0 to 360
    std::int64_t timeMs = 0;          // when it was taken, ms since the epoch on its source's clock
    Source source = Source::Link;
};

// Where a reading puts an aircraft, and what it says of that position ("position 12 s old,
// projected"); the note is empty when there is nothing to say.
struct Fix {
    Position position;
    std::string note;
};

} // namespace quadrantel::traffic
