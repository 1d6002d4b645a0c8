#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quadrantel::feed {

// "2026-12-07T18:30:15.4820317Z" as milliseconds since the epoch. Any number of fractional
// digits (the feeds write 0 to 7), a zone of Z or +-HH:MM, or none: a time without a zone is
// UTC. Nothing for text that is no such time.
std::optional<std::int64_t> ParseFeedTime(std::string_view text);

// An HTTP date, "Wed, 31 Jan 2024 12:00:05 GMT", as milliseconds since the epoch; nothing for
// text of another form.
std::optional<std::int64_t> ParseHttpDate(std::string_view text);

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

} // namespace quadrantel::feed
