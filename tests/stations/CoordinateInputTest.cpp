#include "stations/CoordinateInput.h"

#include "support/CommaLocale.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

using namespace quadrantel::stations;

TEST(CoordinateInput, HemisphereTextIsAcceptedInUpperCase)
{
    EXPECT_EQ(CheckLatitude("N031.31.08.000").text, "N031.31.08.000");
    const auto s = CheckLatitude("  s031.31.20.000 ");
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.text, "S031.31.20.000");
    EXPECT_TRUE(CheckLongitude("w074.24.34.000").ok);
    // Wrong letter for the axis, two-digit degrees, missing decimals: refused, text kept.
    for (const char* t : {"E031.31.08.000", "N31.31.08.000", "N031.31.08.00", "N031.31.08.0000", "N031,31,08,000"}) {
        const auto r = CheckLatitude(t);
        EXPECT_FALSE(r.ok) << t;
        EXPECT_EQ(r.text, t);
    }
    EXPECT_FALSE(CheckLongitude("N031.31.08.000").ok);
}

TEST(CoordinateInput, DecimalDegreesBecomeHemisphereText)
{
    EXPECT_EQ(CheckLatitude("+40.689060").text, "N040.41.20.616");
    EXPECT_EQ(CheckLongitude("-74.044636").text, "W074.02.40.690");
    EXPECT_EQ(CheckLatitude("-.5").text, "S000.30.00.000");
    EXPECT_EQ(CheckLongitude(" 12 ").text, "E012.00.00.000");
    EXPECT_EQ(CheckLongitude("1.5e1").text, "E015.00.00.000");
    // Seconds rounding to a full minute carry.
    EXPECT_EQ(CheckLatitude("10.0166666").text, "N010.01.00.000");
    EXPECT_EQ(CheckLongitude("-179.9999999").text, "W180.00.00.000");
    for (const char* t : {"", "   ", "-", ".", "+-1", "1..2", "1e", "1e999", "12ab", "N", "--5", "1,5", "0x10"})
        EXPECT_FALSE(CheckLatitude(t).ok) << t;
}

// Guards against typos making stations off the earth (95.5 as N095.30.00.000) in either form.
TEST(CoordinateInput, PlacesOffTheEarthAreRefused)
{
    struct Case {
        const char* typed;
        bool latitude;
        bool ok;
    };
    for (const Case& c : std::initializer_list<Case>{{"90", true, true},
                                                     {"-90", true, true},
                                                     {"90.0001", true, false},
                                                     {"95.5", true, false},
                                                     {"N090.00.00.000", true, true},
                                                     {"S090.00.00.001", true, false},
                                                     {"N089.59.59.999", true, true},
                                                     {"N045.60.00.000", true, false},
                                                     {"N045.00.60.000", true, false},
                                                     {"180", false, true},
                                                     {"-180.0001", false, false},
                                                     {"999.9999999", false, false},
                                                     {"E180.00.00.000", false, true},
                                                     {"W180.00.01.000", false, false},
                                                     {"E181.00.00.000", false, false},
                                                     {"W179.59.59.999", false, true},
                                                     {"E010.59.00.000", false, true},
                                                     {"E010.00.59.999", false, true}}) {
        const auto r = c.latitude ? CheckLatitude(c.typed) : CheckLongitude(c.typed);
        EXPECT_EQ(r.ok, c.ok) << c.typed;
        EXPECT_TRUE(c.ok || r.text == c.typed) << c.typed;
    }
    // Stored positions are read as they are.
    EXPECT_TRUE(IsLatitudeText("N095.30.00.000"));
}

TEST(CoordinateInput, DecimalSeparatorIsAPointWhateverTheLocale)
{
    // Guards against reading or writing numbers through the C locale's separator.
    const quadrantel::test::CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "scripts/install-deps generates de_DE.UTF-8";
    EXPECT_EQ(CheckLatitude("+40.689060").text, "N040.41.20.616");
    EXPECT_EQ(Normalize("-74.044636"), "-074.02.40.690");
}

TEST(CoordinateInput, NormalizeWritesDegreesMinutesSeconds)
{
    EXPECT_EQ(Normalize("40.689060"), "040.41.20.616");
    EXPECT_EQ(Normalize("-74.044636"), "-074.02.40.690");
    EXPECT_EQ(Normalize("0"), "000.00.00.000");
    EXPECT_EQ(Normalize("1234.5"), "1234.30.00.000");
    EXPECT_EQ(Normalize("  "), "  ");
    EXPECT_EQ(Normalize(""), "");
    EXPECT_EQ(Normalize("abc"), "");
    EXPECT_EQ(Normalize("1e300").substr(0, 4), "1000"); // very large, but no crash
}
