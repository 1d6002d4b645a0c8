#include "gonio/Geodesy.h"

#include "platform/Runtime.h"
#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <string>

using namespace quadrantel::gonio;
using quadrantel::platform::RuntimeError;

namespace {

long ErrorOf(auto&& f)
{
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

// The formulas written out literally, without clamping; nullopt where they fault.
namespace literal {
std::optional<double> arccos(double x)
{
    const double d = -x * x + 1;
    if (!(d > 0))
        return std::nullopt;
    return std::atan(-x / std::sqrt(d)) + PI / 2;
}
double rad(double d)
{
    return d * PI / 180;
}
std::optional<double> Posdist(double a, double b, double c, double d)
{
    if (a == c && b == d)
        return 0.0;
    const double k = std::cos(rad(c)) * std::cos(rad(a)) * std::cos(rad(d - b)) + std::sin(rad(c)) * std::sin(rad(a));
    const auto ac = arccos(k);
    return ac ? std::optional(180 / PI * 60 * *ac) : std::nullopt;
}
std::optional<float> Course(double a, double b, double c, double d)
{
    if (b == d)
        return a >= c ? 180.0f : 0.0f;
    const auto dist = Posdist(a, b, c, d);
    if (!dist)
        return std::nullopt;
    const double delta = rad(*dist / 60);
    const double den = std::cos(rad(a)) * std::sin(delta);
    if (den == 0)
        return std::nullopt;
    const auto ac = arccos((std::sin(rad(c)) - std::cos(delta) * std::sin(rad(a))) / den);
    if (!ac)
        return std::nullopt;
    float T = static_cast<float>(*ac * 180 / PI);
    if (std::sin(rad(d - b)) < 0)
        T = 360 - T;
    return T;
}
} // namespace literal

// Figures computed independently (a separate program evaluating the same formulas).
struct Row {
    double lat1, lon1, lat2, lon2, dist;
    float course;
};
const Row kTable[] = {
    {45, 9, 45, 8, 42.426137621290124, 270.35357666015625f},
    {45, 9, 46, 9.5, 63.57750307613505, 19.135269165039062f},
    {10, 179, 10, -179, 118.17674942430186, 89.82633209228516f},
    {10, -179, 10, 179, 118.17674942430186, 270.1736755371094f},
    {40.639722, -73.778889, 51.4775, -0.461389, 2989.0476691607296, 51.34372329711914f},
    {-33.946111, 151.177222, 1.359167, 103.989444, 3396.475413398716, 298.552734375f},
    {31.518888, -90, -12.5, 45.25, 8085.944392862505, 75.48381042480469f},
    {0, 0, 0, 90, 5399.9999999999945, 90.0f},
    {60, -150, -60, 30.5, 10785.000035697398, 269.78350830078125f},
    {48.353783, 11.786086, 48.110278, 16.569722, 191.71322529983365, 92.58305358886719f},
    {-89.5, 10, 89.5, -170.25, 10799.869102075198, 89.87500762939453f},
    {37.618972, -122.374889, 37.618972, -122.0, 17.81668309676282, 89.88558197021484f},
};

} // namespace

TEST(Geodesy, AgreesToTheLastDigitWithIndependentFigures)
{
    for (const Row& r : kTable) {
        SCOPED_TRACE(testing::Message() << r.lat1 << " " << r.lon1 << " " << r.lat2 << " " << r.lon2);
        EXPECT_EQ(Posdist(r.lat1, r.lon1, r.lat2, r.lon2), r.dist);
        EXPECT_EQ(Course(r.lat1, r.lon1, r.lat2, r.lon2), r.course);
    }
    EXPECT_NEAR(Course(45, 9, 45, 8), 270.35, 0.005);
    EXPECT_NEAR(Course(45, 9, 46, 9.5), 19.14, 0.005);
    EXPECT_NEAR(Posdist(45, 9, 46, 9.5), 63.58, 0.005);
    EXPECT_NEAR(Course(10, 179, 10, -179), 89.83, 0.005);
    EXPECT_NEAR(Posdist(10, 179, 10, -179), 118.18, 0.005);
    EXPECT_NEAR(Course(10, -179, 10, 179), 270.17, 0.005);
    // The truncated constant, not the library's pi, is what the figures rest on.
    EXPECT_EQ(Deg2Rad(180), 3.14159265358979);
    EXPECT_EQ(Rad2Deg(3.14159265358979), 180.0);
    EXPECT_EQ(PosdistNew(45, 9, 46, 9.5, true, true), 63.620468751736446);
    EXPECT_EQ(PosdistNew(45, 9, 46, 9.5, true, false), 117.82677924117476);
    EXPECT_EQ(Distance(45, 9, 46, 9.5, ""), 73.20949479216952);
    EXPECT_EQ(Distance(45, 9, 46, 9.5, "k"), 117.81926118680927);
    EXPECT_EQ(Distance(45, 9, 46, 9.5, "N"), 63.57512527752001);
    EXPECT_EQ(Distance(45, 9, 46, 9.5, "NM"), 73.20949479216952);
}

TEST(Geodesy, SpecialCasesNeedNoComputation)
{
    EXPECT_EQ(Posdist(10, 20, 10, 20), 0.0);
    EXPECT_EQ(Course(10, 20, 10, 20), 180.0f);
    EXPECT_EQ(Course(10, 20, 5, 20), 180.0f);
    EXPECT_EQ(Course(10, 20, 15, 20), 0.0f);
    EXPECT_EQ(Course(90, 20, 15, 20), 180.0f);
}

TEST(Geodesy, FaultsAreRunTimeErrors)
{
    EXPECT_EQ(ErrorOf([] { arccos(1); }), kErrDivisionByZero);
    EXPECT_EQ(ErrorOf([] { arccos(-1); }), kErrDivisionByZero);
    EXPECT_EQ(ErrorOf([] { arccos(1.5); }), kErrInvalidCall);
    EXPECT_EQ(ErrorOf([] { arccos(NAN); }), kErrInvalidCall);
    EXPECT_EQ(ErrorOf([] { ArcSin(-2); }), kErrInvalidCall);
    EXPECT_EQ(ErrorOf([] { ArcSinNew(1); }), kErrDivisionByZero);
    EXPECT_EQ(ErrorOf([] { Deg2Rad(1e308); }), kErrOverflow);
    EXPECT_EQ(ErrorOf([] { Posdist(NAN, 0, 1, 1); }), kErrInvalidCall);
    EXPECT_EQ(ErrorOf([] { Course(0, INFINITY, 1, 1); }), kErrInvalidCall);
    EXPECT_EQ(ErrorOf([] { PosdistNew(1, 2, 3, 4, false, true); }), kErrInvalidCall);
    EXPECT_NEAR(ArcSin(0.5), PI / 6, 1e-14);
    EXPECT_NEAR(ArcSinNew(0.5), PI / 6, 1e-14);
    // No course from a pole, nor to the antipode: the truncated pi leaves cos(90) at 1e-15.
    EXPECT_EQ(ErrorOf([] { Course(90, 0, 45, 10); }), kErrDivisionByZero);
    EXPECT_EQ(ErrorOf([] { Course(-90, 0, 45, 10); }), kErrDivisionByZero);
    EXPECT_EQ(ErrorOf([] { Course(10, 20, -10, -160); }), kErrDivisionByZero);
    EXPECT_EQ(ErrorOf([] { Course(0, 0, 0, 180); }), kErrDivisionByZero);
}

// Guards the two faults of the formulas whose answer is plain.
TEST(Geodesy, NearlyIdenticalOrDueNorthPointsHaveAnAnswer)
{
    ASSERT_FALSE(literal::Posdist(10, 20, 10, 20 + 1e-9)); // k rounds to exactly 1
    EXPECT_EQ(Posdist(10, 20, 10, 20 + 1e-9), 0.0);
    ASSERT_FALSE(literal::Course(10, 20, 11, 20.0000001)); // q passes 1
    EXPECT_EQ(Course(10, 20, 11, 20.0000001), 0.0f);
    EXPECT_EQ(Course(10, 20, 11, 19.9999999), 360.0f);
    ASSERT_FALSE(literal::Course(10, 20, 9, 20.0000001));
    EXPECT_EQ(Course(10, 20, 9, 20.0000001), 180.0f);
    // Points the formula cannot tell apart have no course.
    EXPECT_EQ(ErrorOf([] { Course(10, 20, 10, 20 + 1e-9); }), kErrDivisionByZero);
}

TEST(Geodesy, EveryInputTheFormulasComputeGivesTheSameBits)
{
    std::mt19937_64 rng(4711);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180), tiny(-1e-6, 1e-6);
    int failedBefore = 0;
    for (int i = 0; i < 200000; ++i) {
        const double a = lat(rng), b = lon(rng);
        double c = lat(rng), d = lon(rng);
        if (i % 4 == 1)
            d = b + tiny(rng); // nearly due north or south
        if (i % 4 == 2)
            c = a + tiny(rng), d = b + tiny(rng);
        const auto dist = literal::Posdist(a, b, c, d);
        const auto course = literal::Course(a, b, c, d);
        if (dist) {
            ASSERT_EQ(Posdist(a, b, c, d), *dist) << a << " " << b << " " << c << " " << d;
        }
        if (course) {
            ASSERT_EQ(Course(a, b, c, d), *course) << a << " " << b << " " << c << " " << d;
        } else {
            ++failedBefore;
            try {
                const float t = Course(a, b, c, d);
                ASSERT_TRUE(t == 0.0f || t == 180.0f || t == 360.0f) << t;
            } catch (const RuntimeError& e) {
                ASSERT_EQ(e.number(), kErrDivisionByZero);
            }
        }
    }
    EXPECT_GT(failedBefore, 100); // the sweep does reach the faulting inputs
}

TEST(Geodesy, PositionTextsGiveBearingAndDistance)
{
    const std::string station = "N045.00.00.000 E009.00.00.000";
    EXPECT_EQ(SctBearing(station, "N045.00.00.000 E008.00.00.000"), 270);
    EXPECT_EQ(SctBearing(station, "N046.00.00.000 E009.30.00.000"), 19);
    EXPECT_EQ(SctDistance(station, "N046.00.00.000 E009.30.00.000"), static_cast<float>(63.57750307613505));
    EXPECT_EQ(SctDistance(station, station), 0.0f);
    // Rounded half to even from the single: 359.99 gives 360, not 0; 0.11 gives 0.
    EXPECT_EQ(SctBearing(station, "N046.00.00.000 E008.59.50.000"), 360);
    EXPECT_EQ(SctBearing(station, "N046.00.00.000 E009.00.10.000"), 0);
    // Blanks after each part and a lower-case "s" (read as north) are tolerated.
    EXPECT_EQ(SctBearing("N045.00.00.000   E009.00.00.000 ", "s046.00.00.000 E009.30.00.000"), 19);
    // A failing course makes the distance fail too.
    EXPECT_EQ(ErrorOf([] { SctDistance("N090.00.00.000 E000.00.00.000", "N045.00.00.000 E010.00.00.000"); }),
              kErrDivisionByZero);
    EXPECT_EQ(ErrorOf([] { SctBearing("N090.00.00.000 E000.00.00.000", "N045.00.00.000 E010.00.00.000"); }),
              kErrDivisionByZero);
    // Due south from the pole is a course.
    EXPECT_EQ(SctBearing("N090.00.00.000 E010.00.00.000", "N045.00.00.000 E010.00.00.000"), 180);
    // Rubbish reads as zeros or fails cleanly, never out of bounds.
    for (const char* t : {"", " ", "N", "N0", "X", "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN", "\0\0\0", "N1.5"})
        EXPECT_NO_THROW(SctBearing(t, "N001.00.00.000 E001.00.00.000")) << t;
    EXPECT_EQ(ErrorOf([&] { SctBearing("N1e5.00.00.000 E000.00.00.000", station); }), kErrOverflow);
}

TEST(Geodesy, CoordinateTextsReadAsTheirNumbers)
{
    EXPECT_EQ(CoordinateToDecimal("N031.31.08.000", Axis::Latitude), 31 + 31 / 60.0 + 8 / 3600.0);
    EXPECT_EQ(CoordinateToDecimal("W090.00.00.000", Axis::Longitude), -90.0);
    EXPECT_EQ(CoordinateToDecimal("S090.00.00.000", Axis::Longitude), 90.0);
    EXPECT_EQ(CoordinateToDecimal("s031.31.08.000", Axis::Latitude),
              CoordinateToDecimal("N031.31.08.000", Axis::Latitude));
    EXPECT_EQ(CoordinateToDecimal("N1.5.30", Axis::Latitude), 2.5); // degrees "1.5" round to 2, minutes "30"
    EXPECT_EQ(CoordinateToDecimal("", Axis::Latitude), 0.0);

    // The fast path for well-formed text and the general reading agree bit for bit.
    using quadrantel::platform::CInt;
    using quadrantel::platform::Val;
    std::mt19937 rng(7);
    char buf[32];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(buf, sizeof buf, "%c%03u.%02u.%02u.%03u", "NSEW"[rng() % 4], unsigned(rng() % 1000),
                      unsigned(rng() % 100), unsigned(rng() % 100), unsigned(rng() % 1000));
        const std::string t = buf;
        double v = CInt(Val(t.substr(1, 3))) + CInt(Val(t.substr(5, 2))) / 60.0 + Val(t.substr(8)) / 3600.0;
        if (t[0] == 'S' || t[0] == 'W')
            v = -v;
        const Axis axis = (t[0] == 'N' || t[0] == 'S') ? Axis::Latitude : Axis::Longitude;
        ASSERT_EQ(CoordinateToDecimal(t, axis), v) << t;
        // One more character leaves the fast path and must not change the value.
        ASSERT_EQ(CoordinateToDecimal(t + " ", axis), v) << t;
    }
    for (const char* t : {"N-1.5.-3.1e1", "W 12.3 .  4.5", "E.5e1.1d.2e-1x", "N+12.+5.+", "Ndd.ee.1e999"}) {
        const std::string s = t;
        const auto mid = [&](std::size_t a, std::size_t n) { return a < s.size() ? s.substr(a, n) : std::string(); };
        double v = CInt(Val(mid(1, 3))) + CInt(Val(mid(5, 2))) / 60.0 + Val(mid(8, std::string::npos)) / 3600.0;
        if (s[0] == 'W')
            v = -v;
        EXPECT_EQ(CoordinateToDecimal(s, Axis::Longitude), v) << s;
    }
}

TEST(Geodesy, DecimalDegreesWriteAsCoordinateTexts)
{
    int16_t dd = 0, mm = 0;
    double ss = 0;
    DecToLonLat(31.5188888, dd, mm, ss);
    EXPECT_EQ(dd, 31);
    EXPECT_EQ(mm, 31);
    EXPECT_NEAR(ss, 7.9997, 1e-4);
    DecToLonLat(-0.5, dd, mm, ss);
    EXPECT_EQ(dd, -1);
    EXPECT_EQ(mm, 30);
    EXPECT_EQ(ErrorOf([&] { DecToLonLat(40000, dd, mm, ss); }), kErrOverflow);
    EXPECT_EQ(ErrorOf([&] { DecToLonLat(NAN, dd, mm, ss); }), kErrOverflow);

    EXPECT_EQ(DecimalToCoordinate(31.5188888, Axis::Latitude), "N031.31.08.000");
    EXPECT_EQ(DecimalToCoordinate(-74.044636, Axis::Longitude), "W074.02.40.690");
    EXPECT_EQ(DecimalToCoordinate(0, Axis::Latitude), "S000.00.00.000");
    EXPECT_EQ(DecimalToCoordinate(0, Axis::Longitude), "W000.00.00.000");
    EXPECT_EQ(DecimalToCoordinate(179.5, Axis::Longitude), "E179.30.00.000");
    EXPECT_EQ(DecimalToCoordinate(10 + 59.9997 / 3600, Axis::Latitude), "N010.00.60.000"); // no carry
    EXPECT_EQ(DecimalToCoordinate(1234.5, Axis::Latitude), "N1234.30.00.000");

    // Agrees with the general number formatting for the seconds, whatever the value.
    using quadrantel::platform::Format;
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> any(-180, 180);
    for (int i = 0; i < 100000; ++i) {
        const double v = any(rng);
        DecToLonLat(std::fabs(v), dd, mm, ss);
        const std::string want =
            std::string(v > 0 ? "E" : "W") + Format(dd, "0##") + "." + Format(mm, "0#") + "." + Format(ss, "0#.##0");
        ASSERT_EQ(DecimalToCoordinate(v, Axis::Longitude), want) << v;
    }
}
