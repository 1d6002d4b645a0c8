#include "platform/Runtime.h"

#include "platform/RuntimeError.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace quadrantel::platform {

namespace {

// A plain decimal ("52.50000", "-8.5", "35000") of at most 15 digits: the exact mantissa over an
// exact power of ten is the correctly rounded value, the one from_chars gives, in a fraction of
// its time. Position lines are made of these. Nothing for any other text.
std::optional<double> PlainDecimal(std::string_view t)
{
    static constexpr double kTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const bool negative = !t.empty() && t.front() == '-';
    std::uint64_t mantissa = 0;
    int digits = 0, fraction = -1; // fraction: digits after the point; -1 before one
    for (std::size_t i = negative ? 1 : 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
            if (++digits > 15)
                return std::nullopt;
            fraction += fraction >= 0 ? 1 : 0;
        } else if (c == '.' && fraction < 0 && digits > 0) {
            fraction = 0;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || fraction == 0)
        return std::nullopt;
    double v = static_cast<double>(mantissa);
    if (fraction > 0)
        v /= kTen[fraction];
    return negative ? -v : v;
}

} // namespace

double Val(std::string_view text)
{
    if (const auto plain = PlainDecimal(text))
        return *plain;
    // Blanks, tabs and line feeds are skipped anywhere, as the runtime does.
    std::string digits;
    digits.reserve(text.size());
    bool seenDigit = false, seenPoint = false, seenExp = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c >= '0' && c <= '9') {
            digits += c;
            seenDigit = true;
        } else if ((c == '+' || c == '-') && (digits.empty() || (seenExp && (digits.back() == 'e')))) {
            digits += c;
        } else if (c == '.' && !seenPoint && !seenExp) {
            digits += c;
            seenPoint = true;
        } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && seenDigit && !seenExp) {
            digits += 'e';
            seenExp = true;
        } else {
            break;
        }
    }
    // A dangling exponent or sign is not part of the number.
    while (!digits.empty() && (digits.back() == 'e' || digits.back() == '+' || digits.back() == '-'))
        digits.pop_back();
    if (!seenDigit)
        return 0.0;
    // from_chars, unlike strtod, does not follow the C locale that Qt sets from the
    // environment, where the decimal separator may be a comma.
    const char* first = digits.data();
    if (*first == '+')
        ++first;
    double v = 0.0;
    const auto result = std::from_chars(first, digits.data() + digits.size(), v);
    if (result.ec != std::errc())
        return 0.0;
    return std::isfinite(v) ? v : 0.0;
}

double RoundHalfEven(double x)
{
    return std::nearbyint(x);
}

double Int(double x)
{
    return std::floor(x);
}

int16_t CInt(double x)
{
    const double r = RoundHalfEven(x);
    if (!(r >= -32768.0 && r <= 32767.0))
        throw RuntimeError(6, "CInt", "Overflow");
    return static_cast<int16_t>(r);
}

int32_t CLng(double x)
{
    const double r = RoundHalfEven(x);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        throw RuntimeError(6, "CLng", "Overflow");
    return static_cast<int32_t>(r);
}

bool IsNumeric(std::string_view text)
{
    const std::string t = Trim(text);
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    bool digit = false, point = false;
    for (; i < t.size(); ++i) {
        if (t[i] >= '0' && t[i] <= '9')
            digit = true;
        else if (t[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

int16_t CIntText(std::string_view text)
{
    if (!IsNumeric(text))
        throw RuntimeError(13, "CInt", "Type mismatch");
    return CInt(Val(text));
}

std::string NumberText(double value, char conversion, int precision)
{
    std::chars_format format = std::chars_format::general;
    if (conversion == 'f')
        format = std::chars_format::fixed;
    else if (conversion == 'e')
        format = std::chars_format::scientific;
    char buf[400]; // a fixed double of 308 digits and more fits
    const auto r = std::to_chars(buf, buf + sizeof buf, value, format, precision);
    std::string text(buf, r.ec == std::errc() ? r.ptr : buf);
    return conversion == 'G' ? UCase(text) : text;
}

std::string Format(double value, std::string_view pattern)
{
    const auto point = pattern.find('.');
    const std::string_view intPart = pattern.substr(0, point);
    const std::string_view decPart = point == std::string_view::npos ? std::string_view{} : pattern.substr(point + 1);

    // Integer digits shown at least: placeholders from the first '0' to the point.
    std::size_t minInt = 0;
    if (auto z = intPart.find('0'); z != std::string_view::npos)
        minInt = intPart.size() - z;
    // Decimals: all placeholders are filled, up to the last '0' at least.
    const std::size_t maxDec = decPart.size();
    std::size_t minDec = 0;
    if (auto z = decPart.rfind('0'); z != std::string_view::npos)
        minDec = z + 1;

    if (!std::isfinite(value))
        value = 0.0;
    const bool negative = std::signbit(value) && value != 0.0;
    double a = std::fabs(value);
    // Ties round away from zero.
    const double scale = std::pow(10.0, static_cast<double>(maxDec));
    const double scaled = a * scale;
    double whole = std::floor(scaled);
    if (scaled - whole >= 0.5)
        whole += 1.0;

    std::string digits = NumberText(whole, 'f', 0);
    if (digits.size() < maxDec + 1)
        digits.insert(0, maxDec + 1 - digits.size(), '0');
    std::string ip = digits.substr(0, digits.size() - maxDec);
    std::string dp = digits.substr(digits.size() - maxDec);
    while (dp.size() > minDec && dp.back() == '0')
        dp.pop_back();
    // Leading zeros only as far as the pattern asks.
    std::size_t firstNonZero = ip.find_first_not_of('0');
    if (firstNonZero == std::string::npos)
        ip.clear();
    else
        ip.erase(0, firstNonZero);
    if (ip.size() < minInt)
        ip.insert(0, minInt - ip.size(), '0');

    std::string out;
    const bool allZero =
        ip.find_first_not_of('0') == std::string::npos && dp.find_first_not_of('0') == std::string::npos;
    if (negative && !allZero)
        out += '-';
    out += ip;
    if (!dp.empty() || (point != std::string_view::npos && minDec > 0)) {
        out += '.';
        out += dp;
    }
    return out;
}

int64_t SecondsBetween(int64_t aMSecs, int64_t bMSecs)
{
    const auto floorDiv = [](int64_t ms) { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); };
    return floorDiv(bMSecs) - floorDiv(aMSecs);
}

int64_t SecondsBetween(const QDateTime& a, const QDateTime& b)
{
    return SecondsBetween(a.toMSecsSinceEpoch(), b.toMSecsSinceEpoch());
}

char UpperChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z')
        return static_cast<char>(u - 32);
    // Latin-1 small letters, except the division sign and y with diaeresis.
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7)
        return static_cast<char>(u - 32);
    return c;
}

static char LowerChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z')
        return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7)
        return static_cast<char>(u + 32);
    return c;
}

std::string UCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = UpperChar(c);
    return out;
}

std::string LCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = LowerChar(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperChar(a[i]) != UpperChar(b[i]))
            return false;
    return true;
}

std::string LTrim(std::string_view text)
{
    const auto p = text.find_first_not_of(' ');
    return p == std::string_view::npos ? std::string() : std::string(text.substr(p));
}

std::string RTrim(std::string_view text)
{
    const auto p = text.find_last_not_of(' ');
    return p == std::string_view::npos ? std::string() : std::string(text.substr(0, p + 1));
}

std::string Trim(std::string_view text)
{
    return LTrim(RTrim(text));
}

} // namespace quadrantel::platform
