#include "feed/FeedTime.h"

namespace quadrantel::feed {

namespace {

// Reads exactly `count` digits at `at`.
bool Digits(std::string_view s, std::size_t& at, std::size_t count, unsigned& value)
{
    if (at + count > s.size())
        return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = s[at + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    at += count;
    return true;
}

bool Expect(std::string_view s, std::size_t& at, char c)
{
    if (at >= s.size() || s[at] != c)
        return false;
    ++at;
    return true;
}

unsigned DaysInMonth(std::int64_t year, unsigned month)
{
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

} // namespace

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<std::int64_t> ParseFeedTime(std::string_view s)
{
    std::size_t at = 0;
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(s, at, 4, year) || !Expect(s, at, '-') || !Digits(s, at, 2, month) || !Expect(s, at, '-') ||
        !Digits(s, at, 2, day))
        return std::nullopt;
    if (at >= s.size() || (s[at] != 'T' && s[at] != 't' && s[at] != ' '))
        return std::nullopt;
    ++at;
    if (!Digits(s, at, 2, hour) || !Expect(s, at, ':') || !Digits(s, at, 2, minute) || !Expect(s, at, ':') ||
        !Digits(s, at, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    std::int64_t ms = 0;
    if (at < s.size() && s[at] == '.') {
        ++at;
        std::int64_t scale = 100;
        const std::size_t first = at;
        for (; at < s.size() && s[at] >= '0' && s[at] <= '9'; ++at) {
            ms += (s[at] - '0') * scale; // digits past the millisecond only refine what is cut
            scale /= 10;
        }
        if (at == first)
            return std::nullopt;
    }
    std::int64_t offsetMinutes = 0;
    if (at < s.size() && (s[at] == 'Z' || s[at] == 'z')) {
        ++at;
    } else if (at < s.size() && (s[at] == '+' || s[at] == '-')) {
        const int sign = s[at] == '-' ? -1 : 1;
        ++at;
        unsigned oh = 0, om = 0;
        if (!Digits(s, at, 2, oh))
            return std::nullopt;
        if (at < s.size() && s[at] == ':')
            ++at;
        if (!Digits(s, at, 2, om) || oh > 23 || om > 59)
            return std::nullopt;
        offsetMinutes = sign * static_cast<std::int64_t>(oh * 60 + om);
    }
    if (at != s.size())
        return std::nullopt;
    const std::int64_t seconds =
        DaysFromCivil(year, month, day) * 86400 + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
    return (seconds - offsetMinutes * 60) * 1000 + ms;
}

std::optional<std::int64_t> ParseHttpDate(std::string_view s)
{
    // The one form servers send today; the two obsolete ones of old servers are not read.
    static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (s.size() != 29 || s.substr(3, 2) != ", " || s.substr(25) != " GMT")
        return std::nullopt;
    std::size_t at = 5;
    unsigned day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(s, at, 2, day) || !Expect(s, at, ' '))
        return std::nullopt;
    const std::size_t m = kMonths.find(s.substr(at, 3));
    at += 3;
    if (m == std::string_view::npos || m % 3 != 0 || !Expect(s, at, ' ') || !Digits(s, at, 4, year) ||
        !Expect(s, at, ' ') || !Digits(s, at, 2, hour) || !Expect(s, at, ':') || !Digits(s, at, 2, minute) ||
        !Expect(s, at, ':') || !Digits(s, at, 2, second))
        return std::nullopt;
    const auto month = static_cast<unsigned>(m / 3 + 1);
    if (day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    return (DaysFromCivil(year, month, day) * 86400 + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second) *
           1000;
}

} // namespace quadrantel::feed
