#include "gonio/Geodesy.h"

#include "platform/Runtime.h"
#include "support/RaisedError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

using namespace quadrantel::gonio;
using quadrantel::test::RaisedError;

namespace {

// Figures computed independently (a separate program evaluating the same formulas, with the
// program's truncated pi rather than the library's).
struct Row {
    double lat1, lon1, lat2, lon2, dist;
    float course;
};
const Row kTable[] = {
    {45, 9, 45, 8, 42.426137621290124, 270.35357666015625f},
    {45, 9, 46, 9.5, 63.57750307613505, 19.135269165039062f},
    {10, 179, 10, -179, 118.17674942430186, 89.82633209228516f},
    {10, -179, 10, 179, 118.17674942430186, 270.1736755371094f},
    {31.518888, -90, -12.5, 45.25, 8085.944392862505, 75.48381042480469f},
    {0, 0, 0, 90, 5399.9999999999945, 90.0f},
    {60, -150, -60, 30.5, 10785.000035697398, 269.78350830078125f},
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
    EXPECT_EQ(PosdistNew(45, 9, 46, 9.5, true, true), 63.620468751736446);
    EXPECT_EQ(PosdistNew(45, 9, 46, 9.5, true, false), 117.82677924117476);
    EXPECT_EQ(Distance(45, 9, 46, 9.5, ""), 73.20949479216952);
    EXPECT_EQ(Distance(45, 9, 46, 9.5, "k"), 117.81926118680927);
    EXPECT_EQ(Distance(45, 9, 46, 9.5, "N"), 63.57512527752001);
    EXPECT_EQ(Distance(45, 9, 46, 9.5, "NM"), 73.20949479216952);
    EXPECT_NEAR(ArcSin(0.5), PI / 6, 1e-14);
}

TEST(Geodesy, PlainAnswersAndFaults)
{
    EXPECT_EQ(Posdist(10, 20, 10, 20), 0.0);
    EXPECT_EQ(Course(10, 20, 10, 20), 180.0f);
    EXPECT_EQ(Course(10, 20, 15, 20), 0.0f);
    // Points too close for the formula, or q rounding past 1 near due north or south.
    EXPECT_EQ(Posdist(10, 20, 10, 20 + 1e-9), 0.0);
    EXPECT_EQ(Course(10, 20, 11, 20.0000001), 0.0f);
    EXPECT_EQ(Course(10, 20, 11, 19.9999999), 360.0f);
    EXPECT_EQ(Course(10, 20, 9, 20.0000001), 180.0f);

    EXPECT_EQ(RaisedError([] { arccos(1); }), kErrDivisionByZero);
    EXPECT_EQ(RaisedError([] { arccos(1.5); }), kErrInvalidCall);
    EXPECT_EQ(RaisedError([] { arccos(NAN); }), kErrInvalidCall);
    EXPECT_EQ(RaisedError([] { ArcSin(-2); }), kErrInvalidCall);
    EXPECT_EQ(RaisedError([] { ArcSinNew(1); }), kErrDivisionByZero);
    EXPECT_EQ(RaisedError([] { Deg2Rad(1e308); }), kErrOverflow);
    EXPECT_EQ(RaisedError([] { Posdist(NAN, 0, 1, 1); }), kErrInvalidCall);
    EXPECT_EQ(RaisedError([] { Course(0, INFINITY, 1, 1); }), kErrInvalidCall);
    EXPECT_EQ(RaisedError([] { PosdistNew(1, 2, 3, 4, false, true); }), kErrInvalidCall);
    // No course from a pole, nor to the antipode, nor between points the formula cannot
    // tell apart: the truncated pi leaves cos(90) at 1e-15.
    EXPECT_EQ(RaisedError([] { Course(90, 0, 45, 10); }), kErrDivisionByZero);
    EXPECT_EQ(RaisedError([] { Course(10, 20, -10, -160); }), kErrDivisionByZero);
    EXPECT_EQ(RaisedError([] { Course(10, 20, 10, 20 + 1e-9); }), kErrDivisionByZero);
}

TEST(Geodesy, PositionTextsTolerateBlanksAndFailCleanly)
{
    // Blanks after each part and a lower-case "s" (read as north) are tolerated.
    EXPECT_EQ(SctBearing("N045.00.00.000   E009.00.00.000 ", "s046.00.00.000 E009.30.00.000"), 19);
    // A course that fails from the pole makes the distance fail too; due south is a course.
    EXPECT_EQ(RaisedError([] { SctDistance("N090.00.00.000 E000.00.00.000", "N045.00.00.000 E010.00.00.000"); }),
              kErrDivisionByZero);
    EXPECT_EQ(SctBearing("N090.00.00.000 E010.00.00.000", "N045.00.00.000 E010.00.00.000"), 180);
    EXPECT_EQ(RaisedError([] { SctBearing("N1e5.00.00.000 E000.00.00.000", "N045.00.00.000 E009.00.00.000"); }),
              kErrOverflow);
}

TEST(Geodesy, CoordinateTexts)
{
    struct Read {
        const char* text;
        Axis axis;
        double value;
    };
    const Read reads[] = {
        {"N031.31.08.123", Axis::Latitude, 31 + 31 / 60.0 + 8.123 / 3600.0},
        {"S012.30.00.000", Axis::Latitude, -12.5},
        {"W090.00.00.000", Axis::Longitude, -90.0},
        {"E179.59.59.999", Axis::Longitude, 179 + 59 / 60.0 + 59.999 / 3600.0},
        {"S090.00.00.000", Axis::Longitude, 90.0}, // S only counts on a latitude
        {"s031.31.08.000", Axis::Latitude, 31 + 31 / 60.0 + 8 / 3600.0},
        {"N031.31.08.000 ", Axis::Latitude, 31 + 31 / 60.0 + 8 / 3600.0}, // the general reading
        {"N1.5.30", Axis::Latitude, 2.5},                                 // degrees "1.5" round to 2, minutes "30"
        {"", Axis::Latitude, 0.0},
    };
    for (const Read& r : reads)
        EXPECT_EQ(CoordinateToDecimal(r.text, r.axis), r.value) << r.text;

    int16_t dd = 0, mm = 0;
    double ss = 0;
    DecToLonLat(31.5188888, dd, mm, ss);
    EXPECT_EQ(std::tuple(dd, mm), (std::tuple<int16_t, int16_t>(31, 31)));
    EXPECT_NEAR(ss, 7.9997, 1e-4);
    DecToLonLat(-0.5, dd, mm, ss);
    EXPECT_EQ(std::tuple(dd, mm), (std::tuple<int16_t, int16_t>(-1, 30)));
    EXPECT_EQ(RaisedError([&] { DecToLonLat(40000, dd, mm, ss); }), kErrOverflow);
    EXPECT_EQ(RaisedError([&] { DecToLonLat(NAN, dd, mm, ss); }), kErrOverflow);

    EXPECT_EQ(DecimalToCoordinate(31.5188888, Axis::Latitude), "N031.31.08.000");
    EXPECT_EQ(DecimalToCoordinate(-74.044636, Axis::Longitude), "W074.02.40.690");
    EXPECT_EQ(DecimalToCoordinate(0, Axis::Latitude), "S000.00.00.000");
    EXPECT_EQ(DecimalToCoordinate(179.5, Axis::Longitude), "E179.30.00.000");
    EXPECT_EQ(DecimalToCoordinate(10 + 59.9997 / 3600, Axis::Latitude), "N010.00.60.000"); // no carry
    EXPECT_EQ(DecimalToCoordinate(1234.5, Axis::Latitude), "N1234.30.00.000");
}
