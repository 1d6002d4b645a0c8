#include "stations/CoordinateInput.h"

#include "platform/Runtime.h"
#include "shell/TextRoutines.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace quadrantel::stations {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "L###.##.##.###" with L one of the two hemisphere letters.
bool MatchesPattern(std::string_view t, char positive, char negative)
{
    if (t.size() != 14 || (t[0] != positive && t[0] != negative))
        return false;
    for (std::size_t i = 1; i < 14; ++i) {
        const bool point = i == 4 || i == 7 || i == 10;
        if (point ? t[i] != '.' : !IsDigit(t[i]))
            return false;
    }
    return true;
}

// A whole text that is a decimal number: sign, digits with at most one point, exponent.
// Blanks around it are allowed; the point is the separator whatever the locale.
std::optional<double> ParseNumber(std::string_view s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return std::nullopt;
    s = s.substr(b, s.find_last_not_of(" \t") - b + 1);
    std::size_t i = 0;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-')
        negative = s[i++] == '-';
    const std::size_t start = i;
    std::size_t mantissaDigits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        ++i;
        ++mantissaDigits;
    }
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && IsDigit(s[i]); ++i)
            ++mantissaDigits;
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j >= s.size() || !IsDigit(s[j]))
            return std::nullopt;
        while (j < s.size() && IsDigit(s[j]))
            ++j;
        i = j;
    }
    if (i != s.size())
        return std::nullopt;
    double v = 0.0;
    const auto r = std::from_chars(s.data() + start, s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return negative ? -v : v;
}

// The number as its shortest text of fifteen significant digits, with a point.
std::string NumberText(double d)
{
    return platform::NumberText(d, 'G', 15);
}

int Digits(std::string_view t, std::size_t at, std::size_t count)
{
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i)
        v = v * 10 + (t[i] - '0');
    return v;
}

// A hemisphere text of a place on the earth: at most maxDegrees, minutes and seconds below 60.
bool InRange(std::string_view t, int maxDegrees)
{
    const int degrees = Digits(t, 1, 3), minutes = Digits(t, 5, 2), seconds = Digits(t, 8, 2),
              thousandths = Digits(t, 11, 3);
    if (minutes >= 60 || seconds >= 60 || degrees > maxDegrees)
        return false;
    return degrees < maxDegrees || minutes + seconds + thousandths == 0;
}

CoordinateCheck Check(std::string_view typed, char positive, char negative, int maxDegrees)
{
    std::string t = shell::ReplaceAll(platform::Trim(platform::UCase(typed)), "-.", "-0.");
    if (t.empty())
        return {false, std::string(typed)};
    if (MatchesPattern(t, positive, negative))
        return {InRange(t, maxDegrees), InRange(t, maxDegrees) ? t : std::string(typed)};
    if (const auto d = ParseNumber(t); d && std::fabs(*d) <= maxDegrees) {
        t = Normalize(NumberText(*d));
        if (!t.empty() && t[0] == '-')
            t = negative + t.substr(1);
        else
            t = positive + t;
        if (MatchesPattern(t, positive, negative) && InRange(t, maxDegrees))
            return {true, t};
    }
    return {false, std::string(typed)};
}

} // namespace

CoordinateCheck CheckLatitude(std::string_view typed)
{
    return Check(typed, 'N', 'S', 90);
}
CoordinateCheck CheckLongitude(std::string_view typed)
{
    return Check(typed, 'E', 'W', 180);
}

bool IsLatitudeText(std::string_view text)
{
    return MatchesPattern(text, 'N', 'S');
}
bool IsLongitudeText(std::string_view text)
{
    return MatchesPattern(text, 'E', 'W');
}

std::string Normalize(std::string_view sLatLongValue)
{
    if (platform::Trim(sLatLongValue).empty())
        return std::string(sLatLongValue);
    const auto s = ParseNumber(sLatLongValue);
    if (!s)
        return {};
    const double a = std::fabs(*s);
    double D = std::floor(a);
    const double m = (a - D) * 60.0;
    double M = std::floor(m);
    const double S = (m - M) * 60.0;
    std::string seconds = platform::Format(S, "00.000");
    // Seconds that round up to a full minute carry, so that no text shows 60 seconds.
    if (seconds == "60.000") {
        seconds = "00.000";
        if (++M == 60.0) {
            M = 0.0;
            ++D;
        }
    }
    std::string out = platform::Format(D, "000") + "." + platform::Format(M, "00") + "." + seconds;
    if (*s < 0.0)
        out.insert(0, 1, '-');
    return out;
}

} // namespace quadrantel::stations
