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
            m.trackDeg = p.headingDeg;
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
        // The nose turns as the aircraft does, and says so at the latest fix; the chord against the
        // nose at the chord's middle is the wind's drift, which changes slowly.
        const double turned = std::remainder(p0.headingDeg - p1.headingDeg, 360.0);
        const double drift = std::remainder(c1 - (p1.headingDeg + turned / 2), 360.0);
        m.trackDeg = Wrap360(p0.headingDeg + drift);
        m.turnDegPerS = std::clamp(turned / dt1, -kMaxTurnDegPerS, kMaxTurnDegPerS);
        return m;
    }
    if (const auto two = Before(t, *one)) {
        const Track::Fix& p2 = t.back(*two);
        const double dt2 = static_cast<double>(p1.ms - p2.ms) / 1000.0;
        // Each chord's direction is the track at its middle in time.
        const double turn = std::remainder(c1 - ChordBearing(p2, p1), 360.0) / ((dt1 + dt2) / 2);
        m.turnDegPerS = std::clamp(turn, -kMaxTurnDegPerS, kMaxTurnDegPerS);
    }
    m.trackDeg = Wrap360(c1 + m.turnDegPerS * dt1 / 2);
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
        const double turned = m.turnDegPerS * seconds;
        if (std::fabs(turned) > 1e-6) {
            // Along the arc: the chord of a circle flown at this speed and rate.
            const double radiusNm = m.speedKt / 3600.0 / gonio::Deg2Rad(std::fabs(m.turnDegPerS));
            const double chord = 2 * radiusNm * std::fabs(std::sin(gonio::Deg2Rad(turned / 2)));
            gonio::Destination(lat, lon, m.trackDeg + turned / 2, chord, lat, lon);
        } else {
            gonio::Destination(lat, lon, m.trackDeg, m.speedKt * seconds / 3600.0, lat, lon);
        }
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
