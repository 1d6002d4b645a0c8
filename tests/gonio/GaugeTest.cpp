#include "gonio/Gauge.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quadrantel;
using namespace quadrantel::gonio;

namespace {

// A dial 3000 twips wide whose centre is (2500, 2000).
const platform::Bounds kDial{1000, 500, 3000, 3000};

std::pair<float, float> FixedMeasure(const std::string&)
{
    return {500, 200};
}

} // namespace

TEST(Gauge, NeedlePointsAwayFromTheQdmAndLabelSitsOutside)
{
    struct Case {
        double heading;
        float tipX, tipY;
        const char* caption;
        float labelLeft, labelTop;
    };
    // The label is 700 wide (text + 200) and 200 high.
    const Case cases[] = {
        {270, 4000, 2000, " 090\xb0", 4000, 1800},                   // east, above right
        {180, 2500, 500, " 360\xb0", 2500, 300},                     // north, above right
        {0, 2500, 3500, " 180\xb0", 2500, 3500},                     // south, below right
        {45, 1439.340f, 3060.660f, " 225\xb0", 739.340f, 3060.660f}, // south-west, below left
        {135, 1439.340f, 939.340f, " 315\xb0", 739.340f, 739.340f},  // north-west, above left
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.heading);
        const GaugeGeometry g = ComputeGauge(c.heading, kDial, FixedMeasure);
        EXPECT_FLOAT_EQ(g.needle[0], 2500);
        EXPECT_FLOAT_EQ(g.needle[1], 2000);
        EXPECT_NEAR(g.needle[2], c.tipX, 0.01);
        EXPECT_NEAR(g.needle[3], c.tipY, 0.01);
        EXPECT_EQ(g.caption, c.caption);
        ASSERT_TRUE(g.labelPos.has_value());
        EXPECT_NEAR(g.labelPos->first, c.labelLeft, 0.01);
        EXPECT_NEAR(g.labelPos->second, c.labelTop, 0.01);
    }
}

TEST(Gauge, ArrowheadStrokesEnd150InsideTheRimFiveDegreesAside)
{
    const GaugeGeometry g = ComputeGauge(270, kDial, FixedMeasure);
    for (const float* s : {g.stroke1, g.stroke2}) {
        EXPECT_FLOAT_EQ(s[0], g.needle[2]); // both start at the tip
        EXPECT_FLOAT_EQ(s[1], g.needle[3]);
        EXPECT_NEAR(std::hypot(s[2] - 2500.0f, s[3] - 2000.0f), 1350, 0.01); // from the centre
    }
    // Pointing east, the strokes lie 5 degrees above and below the needle.
    EXPECT_NEAR(g.stroke1[3], 2000 - 1350 * std::sin(5 * 3.14159265358979 / 180), 0.05);
    EXPECT_NEAR(g.stroke2[3], 2000 + 1350 * std::sin(5 * 3.14159265358979 / 180), 0.05);
}

TEST(Gauge, BearingRoundsHalfToEven)
{
    EXPECT_EQ(ComputeGauge(0.5, kDial, FixedMeasure).hdg, 180); // 180.5 -> 180
    EXPECT_EQ(ComputeGauge(1.5, kDial, FixedMeasure).hdg, 182); // 181.5 -> 182
    EXPECT_EQ(ComputeGauge(181, kDial, FixedMeasure).hdg, 1);
    // A bearing off the dial leaves the label where it was.
    EXPECT_FALSE(ComputeGauge(-200, kDial, FixedMeasure).labelPos.has_value());
}

// North, east, south-west: the needle ends on the rim, the callsign lies wholly inside it.
TEST(Gauge, ACallersNeedleRunsToTheRimAndHisCallsignStaysInside)
{
    for (const int qdr : {0, 90, 225}) {
        SCOPED_TRACE(qdr);
        const CallerNeedle n = ComputeCallerNeedle("BAW456", qdr, kDial, FixedMeasure);
        const double a = qdr * 3.14159265358979 / 180;
        EXPECT_NEAR(n.line[2], 2500 + 1500 * std::sin(a), 0.01);
        EXPECT_NEAR(n.line[3], 2000 - 1500 * std::cos(a), 0.01);
        for (const float x : {n.label.left, n.label.left + n.label.width})
            for (const float y : {n.label.top, n.label.top + n.label.height})
                EXPECT_LE(std::hypot(x - 2500.0f, y - 2000.0f), 1350.01f);
        EXPECT_EQ(n.label.width, 500);
    }
}

// Guards against a data feed's pilot without an altitude dropped from the callers as if on the
// ground: the main reading keeps him, and so does the gauge.
TEST(Gauge, ACallerBeyondTheRadioHorizonGetsNoNeedle)
{
    const std::string station = "EDDF N050.02.00.000 E008.34.14.000";
    traffic::Position p;
    p.latitude = 50.5;
    p.longitude = 9.0;
    p.altitudeFt = 35000.0;
    EXPECT_EQ(CallerBearing(station, p), 30);
    p.altitudeFt = 0.0;
    EXPECT_FALSE(CallerBearing(station, p));
    p.altitudeFt.reset();
    EXPECT_FALSE(CallerBearing(station, p)); // the link's empty field: on the ground
    p.source = traffic::Source::Feed;
    EXPECT_EQ(CallerBearing(station, p), 30);
}

TEST(GaugePanel, SwitchHidesTheDialAndClearsTheReading)
{
    platform::Shape shape;
    platform::Line l1, l2, l3;
    platform::Label hdg, error;
    platform::Image gonio, monitor, speak;
    platform::CheckBox chk, test;
    GaugePanel panel({shape, l1, l2, l3, hdg, gonio, chk, test, monitor, speak, error}, FixedMeasure);
    int cleared = 0;
    chk.onClick = [&] { panel.chkGonio_Click([&] { ++cleared; }); };

    panel.imgGonio_Click();
    EXPECT_TRUE(chk.checked());
    EXPECT_EQ(gonio.picture(), platform::Picture::On);
    EXPECT_TRUE(test.visible());
    EXPECT_TRUE(monitor.visible());
    EXPECT_TRUE(shape.visible());
    EXPECT_TRUE(speak.visible());
    EXPECT_EQ(cleared, 0);

    panel.imgGonio_Click();
    EXPECT_FALSE(chk.checked());
    EXPECT_EQ(gonio.picture(), platform::Picture::Off);
    EXPECT_FALSE(test.visible());
    EXPECT_FALSE(monitor.visible());
    EXPECT_FALSE(shape.visible());
    EXPECT_FALSE(speak.visible());
    EXPECT_EQ(cleared, 1);

    shape.move(1000, 500, 3000, 3000);
    panel.DrawGauge(270);
    EXPECT_TRUE(l1.visible());
    EXPECT_TRUE(l2.visible());
    EXPECT_TRUE(l3.visible());
    EXPECT_TRUE(hdg.visible());
    EXPECT_EQ(hdg.caption(), " 090\xb0");
    EXPECT_FLOAT_EQ(hdg.rect().top, 1800);
}
