#include "gonio/Geodesy.h"

#include "platform/Numbers.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quadrantel::gonio {

namespace {

[[noreturn]] void Fail(long number, const char* source)
{
    const char* text = number == kErrDivisionByZero ? "Division by zero"
                       : number == kErrOverflow     ? "Overflow"
                                                    : "Invalid procedure call or argument";
    throw platform::RuntimeError(number, source, text);
}

// The truncated PI never makes cos(90 degrees) or sin(180 degrees) exactly 0, so a pole or
// an antipode shows up as a factor of about 1e-15. Any other input keeps factors far above
// this (the closest seconds text to a pole gives about 5e-9).
constexpr double kVanishing = 1e-12;

// arccos with its argument clamped into [-1, 1]: points too close for k to differ from 1, or
// a target so near due north or south that q rounds past +-1, have a plain answer.
// Arguments inside (-1, 1) go through arccos unchanged, so their results stay bit-identical.
double ArccosClamped(double x)
{
    if (x >= 1.0)
        return 0.0;
    if (x <= -1.0)
        return PI;
    return arccos(x);
}

void RequireFinite(double a, double b, double c, double d, const char* source)
{
    if (!(std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d)))
        Fail(kErrInvalidCall, source);
}

// Radians and their sines and cosines, shared by the distance and the course so that the
// pair costs one set of trigonometric calls. Each value is computed exactly as the formulas
// write it, so sharing changes no bit.
struct Ends {
    double sinPhi1, cosPhi1, sinPhi2, cosPhi2, dLon;
};

// glibc's sincos gives the bits of sin and cos at the cost of one call.
void SinCos(double x, double& s, double& c)
{
    ::sincos(x, &s, &c);
}

Ends MakeEnds(double Lat1, double Lon1, double Lat2, double Lon2)
{
    Ends e;
    SinCos(Deg2Rad(Lat1), e.sinPhi1, e.cosPhi1);
    SinCos(Deg2Rad(Lat2), e.sinPhi2, e.cosPhi2);
    e.dLon = Deg2Rad(Lon2 - Lon1);
    return e;
}

double DistanceOf(const Ends& e)
{
    const double k = e.cosPhi2 * e.cosPhi1 * std::cos(e.dLon) + e.sinPhi2 * e.sinPhi1;
    return 180.0 / PI * 60.0 * ArccosClamped(k);
}

// Course for points of different longitude, d being their Posdist.
float CourseOf(const Ends& e, double d)
{
    double sinDelta, cosDelta;
    SinCos(Deg2Rad(d / 60.0), sinDelta, cosDelta);
    // No course exists from a pole or to the antipode (nor for points too close for the
    // formula to see apart): a division by zero, as the formula would have it.
    if (std::fabs(e.cosPhi1) < kVanishing || std::fabs(sinDelta) < kVanishing)
        Fail(kErrDivisionByZero, "Course");
    const double q = (e.sinPhi2 - cosDelta * e.sinPhi1) / (e.cosPhi1 * sinDelta);
    float T = static_cast<float>(ArccosClamped(q) * 180.0 / PI);
    if (std::sin(e.dLon) < 0.0)
        T = 360.0f - T;
    return T;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The leading number of a text as the runtime's Val reads it (platform::Val): blanks are
// skipped anywhere, a point is the decimal separator, sign and exponent are optional,
// anything else ends the number. Kept here so this library needs the standard library only.
int16_t ToInteger(double x, const char* source)
{
    const double r = std::nearbyint(x);
    if (!(r >= -32768.0 && r <= 32767.0))
        Fail(kErrOverflow, source);
    return static_cast<int16_t>(r);
}

std::string_view TrimSpaces(std::string_view s)
{
    const auto b = s.find_first_not_of(' ');
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

struct Position {
    double lat, lon;
};

// Latitude: the first 15 characters; longitude: everything from the 15th character on.
Position ParsePosition(std::string_view text)
{
    const std::string_view lat = TrimSpaces(text.substr(0, 15));
    const std::string_view lon = text.size() >= 14 ? TrimSpaces(text.substr(14)) : std::string_view{};
    return {CoordinateToDecimal(lat, Axis::Latitude), CoordinateToDecimal(lon, Axis::Longitude)};
}

void AppendPadded(std::string& out, long value, std::size_t width)
{
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;
    const std::size_t len = static_cast<std::size_t>(end - digits);
    if (len < width)
        out.append(width - len, '0');
    out.append(digits, len);
}

} // namespace

double Deg2Rad(double deg)
{
    const double r = deg * PI / 180.0;
    if (!std::isfinite(r) && std::isfinite(deg))
        Fail(kErrOverflow, "Deg2Rad");
    return r;
}

double Rad2Deg(double rad)
{
    const double r = rad * 180.0 / PI;
    if (!std::isfinite(r) && std::isfinite(rad))
        Fail(kErrOverflow, "Rad2Deg");
    return r;
}

double arccos(double x)
{
    const double d = -x * x + 1.0;
    if (d == 0.0)
        Fail(kErrDivisionByZero, "arccos");
    if (!(d > 0.0))
        Fail(kErrInvalidCall, "arccos");
    return std::atan(-x / std::sqrt(d)) + PI / 2.0;
}

double ArcSin(double x)
{
    return PI / 2.0 - arccos(x);
}

double ArcSinNew(double x)
{
    const double d = -x * x + 1.0;
    if (d == 0.0)
        Fail(kErrDivisionByZero, "ArcSinNew");
    if (!(d > 0.0))
        Fail(kErrInvalidCall, "ArcSinNew");
    return std::atan(x / std::sqrt(d));
}

double Posdist(double Lat1, double Lon1, double Lat2, double Lon2)
{
    RequireFinite(Lat1, Lon1, Lat2, Lon2, "Posdist");
    if (Lat1 == Lat2 && Lon1 == Lon2)
        return 0.0;
    return DistanceOf(MakeEnds(Lat1, Lon1, Lat2, Lon2));
}

double PosdistNew(double Latitude1, double Longitude1, double Latitude2, double Longitude2, bool ValuesAsDecimalDegrees,
                  bool ResultAsMiles)
{
    // The other input form scaled every value by an unexplained 24; no unit fits it.
    if (!ValuesAsDecimalDegrees)
        Fail(kErrInvalidCall, "PosdistNew");
    const double phi1 = Latitude1 / 180.0 * PI;
    const double lambda1 = Longitude1 / 180.0 * PI;
    const double phi2 = Latitude2 / 180.0 * PI;
    const double lambda2 = Longitude2 / 180.0 * PI;
    const double h = std::pow(std::sin((phi1 - phi2) / 2.0), 2.0) +
                     std::cos(phi2) * std::cos(phi1) * std::pow(std::sin((lambda1 - lambda2) / 2.0), 2.0);
    if (!(h >= 0.0))
        Fail(kErrInvalidCall, "PosdistNew");
    const double sigma = 2.0 * ArcSinNew(std::sqrt(h));
    return ResultAsMiles ? sigma * 3440.07 : sigma * 6371.1;
}

double Distance(double Lat1, double Lon1, double Lat2, double Lon2, std::string_view unit)
{
    const double theta = Lon1 - Lon2;
    const double k = std::sin(Deg2Rad(Lat1)) * std::sin(Deg2Rad(Lat2)) +
                     std::cos(Deg2Rad(Lat1)) * std::cos(Deg2Rad(Lat2)) * std::cos(Deg2Rad(theta));
    double D = Rad2Deg(arccos(k)) * 60.0 * 1.1515;
    if (unit == "K" || unit == "k")
        D = D * 1.609344;
    else if (unit == "N" || unit == "n")
        D = D * 0.8684;
    return D;
}

float Course(double Lat1, double Lon1, double Lat2, double Lon2)
{
    RequireFinite(Lat1, Lon1, Lat2, Lon2, "Course");
    if (Lon1 == Lon2)
        return Lat1 >= Lat2 ? 180.0f : 0.0f;
    const Ends e = MakeEnds(Lat1, Lon1, Lat2, Lon2);
    return CourseOf(e, DistanceOf(e));
}

void Destination(double Lat1, double Lon1, double Course, double DistanceNm, double& Lat2, double& Lon2)
{
    RequireFinite(Lat1, Lon1, Course, DistanceNm, "Destination");
    double sinPhi1, cosPhi1, sinDelta, cosDelta, sinTheta, cosTheta;
    SinCos(Deg2Rad(Lat1), sinPhi1, cosPhi1);
    SinCos(Deg2Rad(DistanceNm / 60.0), sinDelta, cosDelta);
    SinCos(Deg2Rad(Course), sinTheta, cosTheta);
    const double sinPhi2 = std::clamp(sinPhi1 * cosDelta + cosPhi1 * sinDelta * cosTheta, -1.0, 1.0);
    const double dLon = std::atan2(sinTheta * sinDelta * cosPhi1, cosDelta - sinPhi1 * sinPhi2);
    Lat2 = Rad2Deg(std::asin(sinPhi2));
    Lon2 = std::remainder(Lon1 + Rad2Deg(dLon), 360.0);
}

int16_t SctBearing(std::string_view LongAndLat1, std::string_view LongAndLat2)
{
    const Position a = ParsePosition(LongAndLat1);
    const Position b = ParsePosition(LongAndLat2);
    return ToInteger(Course(a.lat, a.lon, b.lat, b.lon), "SctBearing");
}

float SctDistance(std::string_view LatAndLong1, std::string_view LatAndLong2)
{
    const Position a = ParsePosition(LatAndLong1);
    const Position b = ParsePosition(LatAndLong2);
    if (a.lat == b.lat && a.lon == b.lon)
        return 0.0f;
    const Ends e = MakeEnds(a.lat, a.lon, b.lat, b.lon);
    const double d = DistanceOf(e);
    // The course is computed and dropped: where it fails (a pole, the antipode), the distance
    // fails too. Points too close to tell apart have none, and their distance is 0.
    if (a.lon != b.lon && d > 0.0)
        (void)CourseOf(e, d);
    return static_cast<float>(d);
}

void DecToLonLat(double DecValue, int16_t& dd, int16_t& mm, double& ss)
{
    const double whole = std::floor(DecValue);
    if (!(whole >= -32768.0 && whole <= 32767.0))
        Fail(kErrOverflow, "DecToLonLat");
    dd = static_cast<int16_t>(whole);
    const double f = DecValue - dd;
    mm = static_cast<int16_t>(std::floor(f * 60.0));
    ss = (f * 60.0 - mm) * 60.0;
}

double CoordinateToDecimal(std::string_view text, Axis axis)
{
    double value;
    const char* s = text.data();
    if (text.size() == 14 && IsDigit(s[1]) && IsDigit(s[2]) && IsDigit(s[3]) && s[4] == '.' && IsDigit(s[5]) &&
        IsDigit(s[6]) && s[7] == '.' && IsDigit(s[8]) && IsDigit(s[9]) && s[10] == '.' && IsDigit(s[11]) &&
        IsDigit(s[12]) && IsDigit(s[13])) {
        // The form every caller produces: exact integer arithmetic, then one correctly
        // rounded division, which is what reading "08.123" as a number gives.
        const int deg = (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
        const int min = (s[5] - '0') * 10 + (s[6] - '0');
        const int milli =
            (s[8] - '0') * 10000 + (s[9] - '0') * 1000 + (s[11] - '0') * 100 + (s[12] - '0') * 10 + (s[13] - '0');
        const double seconds = milli / 1000.0;
        value = deg + min / 60.0 + seconds / 3600.0;
    } else {
        const auto mid = [&](std::size_t from, std::size_t count) {
            return from < text.size() ? text.substr(from, count) : std::string_view{};
        };
        const int16_t deg = ToInteger(platform::Val(mid(1, 3)), "CoordinateToDecimal");
        const int16_t min = ToInteger(platform::Val(mid(5, 2)), "CoordinateToDecimal");
        const double seconds = platform::Val(mid(8, std::string_view::npos));
        value = deg + min / 60.0 + seconds / 3600.0;
    }
    const char negative = axis == Axis::Latitude ? 'S' : 'W';
    if (!text.empty() && text[0] == negative)
        value = -value;
    return value;
}

std::string DecimalToCoordinate(double value, Axis axis)
{
    int16_t dd = 0, mm = 0;
    double ss = 0.0;
    DecToLonLat(std::fabs(value), dd, mm, ss);
    // Seconds as "0#.##0": three decimals, ties away from zero.
    const double scaled = ss * 1000.0;
    double whole = std::floor(scaled);
    if (scaled - whole >= 0.5)
        whole += 1.0;
    const long milli = static_cast<long>(whole);

    std::string out;
    out.reserve(14);
    if (axis == Axis::Latitude)
        out += value > 0.0 ? 'N' : 'S';
    else
        out += value > 0.0 ? 'E' : 'W';
    AppendPadded(out, dd, 3);
    out += '.';
    AppendPadded(out, mm, 2);
    out += '.';
    AppendPadded(out, milli / 1000, 2);
    out += '.';
    AppendPadded(out, milli % 1000, 3);
    return out;
}

} // namespace quadrantel::gonio
