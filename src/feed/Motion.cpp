#include "feed/Motion.h"

#include "gonio/Geodesy.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

namespace quadrantel::feed {

namespace {

constexpr double kStandingKt = 2; // moved less between fixes: standing

double Wrap360(double deg)
{
    const double r = std::fmod(deg, 360.0);
    return r < 0 ? r + 360.0 : r;
}

double InitialBearing(const Track::Fix& a, const Track::Fix& b)
{
    const double p1 = gonio::Deg2Rad(a.latitude), p2 = gonio::Deg2Rad(b.latitude);
    const double dl = gonio::Deg2Rad(b.longitude - a.longitude);
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    return Wrap360(gonio::Rad2Deg(std::atan2(y, x)));
}

// The direction of the chord from a to b at its middle.
double ChordBearing(const Track::Fix& a, const Track::Fix& b)
{
    const double out = InitialBearing(a, b);
    const double in = Wrap360(InitialBearing(b, a) + 180.0);
    return Wrap360(out + std::remainder(in - out, 360.0) / 2);
}

double DistanceNm(const Track::Fix& a, const Track::Fix& b)
{
    const double p1 = gonio::Deg2Rad(a.latitude), p2 = gonio::Deg2Rad(b.latitude);
    const double h = std::pow(std::sin((p2 - p1) / 2), 2) +
                     std::cos(p1) * std::cos(p2) * std::pow(std::sin(gonio::Deg2Rad(b.longitude - a.longitude) / 2), 2);
    return gonio::Rad2Deg(2 * std::asin(std::min(1.0, std::sqrt(h)))) * 60.0;
}

// A flat east/north vector: over a few miles the earth's curve does not show.
struct Vec {
    double east = 0, north = 0;
};

Vec operator+(Vec a, Vec b)
{
    return {a.east + b.east, a.north + b.north};
}

Vec operator-(Vec a, Vec b)
{
    return {a.east - b.east, a.north - b.north};
}

Vec operator*(Vec a, double k)
{
    return {a.east * k, a.north * k};
}

double Dot(Vec a, Vec b)
{
    return a.east * b.east + a.north * b.north;
}

Vec Toward(double deg)
{
    return {std::sin(gonio::Deg2Rad(deg)), std::cos(gonio::Deg2Rad(deg))};
}

// The way flown through the air in `seconds` at one knot from heading `deg`, turning at `rate`
// degrees a second: the chord of the arc, in knot-seconds.
Vec AirPath(double deg, double rate, double seconds)
{
    const double w = gonio::Deg2Rad(rate);
    if (std::fabs(w * seconds) < 1e-9)
        return Toward(deg) * seconds;
    return Toward(deg + rate * seconds / 2) * (2 / w * std::sin(w * seconds / 2));
}

// The airspeed that makes his speed over the ground at his latest fix `groundKt`, his velocity
// there being `chordKt + airKt * e` (see EstimateMotion): the root nearest the ground speed, and
// no further from it than a wind can make it.
double Airspeed(Vec chordKt, Vec e, double groundKt)
{
    const double a = Dot(e, e);
    if (a < 1e-12)
        return groundKt;
    const double b = 2 * Dot(chordKt, e);
    const double c = Dot(chordKt, chordKt) - groundKt * groundKt;
    const double disc = b * b - 4 * a * c;
    double air = -b / (2 * a); // rounded figures without a root: the speed that comes closest
    if (disc >= 0) {
        const double r1 = (-b + std::sqrt(disc)) / (2 * a), r2 = (-b - std::sqrt(disc)) / (2 * a);
        air = std::fabs(r1 - groundKt) <= std::fabs(r2 - groundKt) ? r1 : r2;
    }
    return std::clamp(air, std::max(0.0, groundKt - kMaxWindKt), groundKt + kMaxWindKt);
}

// The newest fix at least kMinFixGapMs before fix `after`, within kMaxFixSpanMs of the newest.
std::optional<std::size_t> Before(const Track& t, std::size_t after)
{
    for (std::size_t k = after + 1; k < t.size(); ++k) {
        if (t.back(0).ms - t.back(k).ms > kMaxFixSpanMs)
            return std::nullopt;
        if (t.back(after).ms - t.back(k).ms >= kMinFixGapMs)
            return k;
    }
    return std::nullopt;
}

} // namespace

void Track::Add(const Pilot& p)
{
    if (size_ > 0 && p.positionMs <= back(0).ms)
        return;
    fixes_[next_] = Fix{p.positionMs, p.latitude, p.longitude, p.headingDeg};
    next_ = (next_ + 1) % kKeep;
    size_ = std::min(size_ + 1, kKeep);
}

Motion EstimateMotion(const Pilot& p, const Track& t)
{
    Motion m;
    m.speedKt = p.groundSpeedKt;
    const auto one = t.size() > 0 && t.back(0).ms == p.positionMs ? Before(t, 0) : std::nullopt;
    if (!one) {
        // No track of his own yet: the nose shows where an airborne aircraft goes, roughly.
        if (p.groundSpeedKt >= kMinProjectedKt && p.headingDeg >= 0) {
            m.known = Motion::Known::Heading;
            m.headingDeg = p.headingDeg;
            m.airKt = m.speedKt;
        }
        return m;
    }
    const Track::Fix& p0 = t.back(0);
    const Track::Fix& p1 = t.back(*one);
    const double dt1 = static_cast<double>(p0.ms - p1.ms) / 1000.0;
    const double chordKt = DistanceNm(p1, p0) / dt1 * 3600.0;
    if (m.speedKt < 0)
        m.speedKt = chordKt;
    if (chordKt < kStandingKt || m.speedKt < kStandingKt)
        return m;
    const double c1 = ChordBearing(p1, p0);
    m.known = Motion::Known::Track;
    if (p0.headingDeg >= 0 && p1.headingDeg >= 0) {
        const double turned = std::remainder(p0.headingDeg - p1.headingDeg, 360.0);
        m.turnDegPerS = std::clamp(turned / dt1, -kMaxTurnDegPerS, kMaxTurnDegPerS);
        if (std::fabs(m.turnDegPerS) < kTurningDegPerS) {
            // Nearly straight, where no airspeed can be told: the chord against the nose at the
            // chord's middle is the wind's drift, and the file's ground speed is his speed now.
            const double drift = std::remainder(c1 - (p1.headingDeg + turned / 2), 360.0);
            m.headingDeg = Wrap360(p0.headingDeg + drift);
            m.airKt = m.speedKt;
            return m;
        }
        // The nose turns as the aircraft does through the air; the wind carries the whole turn
        // along. Between the fixes the way over the ground (the chord) is the air's arc plus the
        // wind: chord = airKt * s + wind; at the latest fix his velocity is airKt * nose + wind,
        // i.e. chord + airKt * (nose - s), and its length the ground speed the file gives.
        const Vec chord = Toward(c1) * chordKt;
        const Vec s = AirPath(p1.headingDeg, m.turnDegPerS, dt1) * (1 / dt1);
        m.headingDeg = p0.headingDeg;
        m.airKt = Airspeed(chord, Toward(p0.headingDeg) - s, m.speedKt);
        const Vec wind = chord - s * m.airKt;
        m.windEastKt = wind.east;
        m.windNorthKt = wind.north;
        return m;
    }
    if (const auto two = Before(t, *one)) {
        const Track::Fix& p2 = t.back(*two);
        const double dt2 = static_cast<double>(p1.ms - p2.ms) / 1000.0;
        // Each chord's direction is the track at its middle in time.
        const double turn = std::remainder(c1 - ChordBearing(p2, p1), 360.0) / ((dt1 + dt2) / 2);
        m.turnDegPerS = std::clamp(turn, -kMaxTurnDegPerS, kMaxTurnDegPerS);
    }
    m.headingDeg = Wrap360(c1 + m.turnDegPerS * dt1 / 2);
    m.airKt = m.speedKt;
    return m;
}

Projection Project(const Pilot& p, const Track& track, std::int64_t nowMs)
{
    Projection fix{p.latitude, p.longitude, std::max<std::int64_t>(0, nowMs - p.positionMs)};
    if (fix.ageMs == 0)
        return fix;
    const Motion m = EstimateMotion(p, track);
    if (m.known == Motion::Known::Nothing)
        return fix;
    if (fix.ageMs > kMaxProjectMs && std::fabs(m.turnDegPerS) >= kTurningDegPerS) {
        // Where a turn has led after more than a minute nobody knows: it may have ended long ago.
        fix.inTurn = true;
        return fix;
    }
    // On the ground a corner or a stop comes soon.
    const std::int64_t moveMs = std::min(fix.ageMs, m.speedKt < kMinProjectedKt ? kMaxTaxiProjectMs : kMaxProjectMs);
    try {
        double lat = p.latitude, lon = p.longitude;
        const double seconds = static_cast<double>(moveMs) / 1000.0;
        // Along the arc through the air, and where the wind carried it meanwhile.
        const Vec nm =
            (AirPath(m.headingDeg, m.turnDegPerS, seconds) * m.airKt + Vec{m.windEastKt, m.windNorthKt} * seconds) *
            (1 / 3600.0);
        gonio::Destination(lat, lon, Wrap360(gonio::Rad2Deg(std::atan2(nm.east, nm.north))),
                           std::hypot(nm.east, nm.north), lat, lon);
        fix.latitude = lat;
        fix.longitude = lon;
        fix.movedMs = moveMs;
        fix.along = m.known;
    } catch (const std::exception&) {
        // A position the formulas cannot move stays where the file saw it.
    }
    return fix;
}

std::string FixNote(const Projection& fix)
{
    std::string note = "position " + std::to_string(fix.ageMs / 1000) + " s old";
    if (fix.inTurn)
        return note + ", not projected: in a turn";
    if (fix.movedMs == 0)
        return note;
    note += ", projected";
    if (fix.movedMs < fix.ageMs)
        note += " " + std::to_string(fix.movedMs / 1000) + " s";
    if (fix.along == Motion::Known::Heading)
        note += " along the heading";
    return note;
}

} // namespace quadrantel::feed
