#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Spherical geometry of the goniometer and the text form of positions. Pure functions;
// a floating-point fault (division by zero, square root of a negative number, overflow)
// is thrown as platform::RuntimeError so callers can tell a failed computation from a result.
//
// Where errors come from, in short: arccos, ArcSin and ArcSinNew at |x| >= 1; Course (and so
// SctBearing and SctDistance) from a pole or to the antipode when the longitudes differ;
// Distance, and PosdistNew at antipodes, where rounding puts a cosine at or past 1; overflow
// (6) for coordinates too large to convert; invalid call (5) for non-finite ones. Points too
// close to tell apart have distance 0 wherever it is clamped (Posdist, SctDistance).
namespace quadrantel::gonio {

// Fifteen significant digits, deliberately not the library's pi: figures must agree with
// results computed with this constant to the last digit.
inline constexpr double PI = 3.14159265358979;

// Run-time error numbers raised here.
inline constexpr long kErrInvalidCall = 5; // square root of a negative number, unsupported argument
inline constexpr long kErrOverflow = 6;
inline constexpr long kErrDivisionByZero = 11;

double Deg2Rad(double deg);
double Rad2Deg(double rad);

// Inverse trigonometry through the arctangent; radians. Division by zero (11) at |x| == 1,
// invalid call (5) beyond or for NaN.
double arccos(double x);
double ArcSin(double x);
double ArcSinNew(double x);

// Great-circle distance in nautical miles (spherical law of cosines). Raises 5 for a
// non-finite coordinate, 6 on overflow; points too close to tell apart give 0.
double Posdist(double Lat1, double Lon1, double Lat2, double Lon2);
// Haversine distance: nautical miles (ResultAsMiles) or kilometres. Only decimal-degree
// input is supported; ValuesAsDecimalDegrees = false is refused with run-time error 5.
// Can raise 11 at antipodes, where the haversine rounds to 1.
double PosdistNew(double Latitude1, double Longitude1, double Latitude2, double Longitude2, bool ValuesAsDecimalDegrees,
                  bool ResultAsMiles);
// Distance in statute miles, or kilometres ("K") or nautical miles ("N"). Unclamped: can raise 11
// or 5 at identical points and antipodes, where rounding puts the cosine at or past 1.
double Distance(double Lat1, double Lon1, double Lat2, double Lon2, std::string_view unit);
// Initial true course from point 1 to point 2, degrees 0 to 360. Equal longitudes need no
// computation (0 northward, 180 otherwise). Otherwise raises 11 from a pole, to the antipode,
// and between points too close to tell apart; 5 for a non-finite coordinate.
float Course(double Lat1, double Lon1, double Lat2, double Lon2);

// Bearing (rounded half to even) and distance from the station (first PositionText) to
// the target (second). SctBearing raises as Course does; SctDistance raises 11 only where a
// course exists in no direction, from a pole or to the antipode: identical or nearly
// identical positions give 0. Degrees beyond 16 bits in the text raise 6.
int16_t SctBearing(std::string_view LongAndLat1, std::string_view LongAndLat2);
float SctDistance(std::string_view LatAndLong1, std::string_view LatAndLong2);

// The point DistanceNm from (Lat1, Lon1) along the initial true Course on the great circle,
// one nautical mile being one minute of arc as in Posdist. Longitude within -180 to 180.
void Destination(double Lat1, double Lon1, double Course, double DistanceNm, double& Lat2, double& Lon2);

// Degrees, minutes and seconds of a decimal value; callers pass absolute values.
// Throws run-time error 6 when the degrees do not fit a 16-bit integer.
void DecToLonLat(double DecValue, int16_t& dd, int16_t& mm, double& ss);

enum class Axis { Latitude, Longitude };

// "N031.31.08.000" -> 31.5188...; "W090.00.00.000" -> -90. Only an upper-case "S" (latitude)
// or "W" (longitude) makes the value negative. Malformed text is read as far as it goes.
double CoordinateToDecimal(std::string_view text, Axis axis);
// Signed decimal degrees -> CoordinateText; 0 is written "S"/"W". Seconds are rounded to
// three decimals without carrying into the minutes.
std::string DecimalToCoordinate(double value, Axis axis);

} // namespace quadrantel::gonio
