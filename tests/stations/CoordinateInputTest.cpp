#include "stations/CoordinateInput.h"

#include <gtest/gtest.h>

#include <clocale>
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
    // No range test; four degree digits fail the pattern.
    EXPECT_EQ(CheckLatitude("95.5").text, "N095.30.00.000");
    EXPECT_TRUE(CheckLongitude("999.99").ok);
    EXPECT_FALSE(CheckLongitude("1000").ok);
    EXPECT_FALSE(CheckLongitude("-1000.5").ok);
    // Seconds round to three decimals without carrying into the minutes.
    EXPECT_EQ(CheckLatitude("10.0166666").text, "N010.00.60.000");
    for (const char* t : {"", "   ", "-", ".", "+-1", "1..2", "1e", "1e999", "12ab", "N", "--5", "1,5", "0x10"})
        EXPECT_FALSE(CheckLatitude(t).ok) << t;
}

TEST(CoordinateInput, DecimalSeparatorIsAPointWhateverTheLocale)
{
    // Guards against reading or writing numbers through the C locale's separator.
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const auto r = CheckLatitude("+40.689060");
    const std::string n = Normalize("-74.044636");
    std::setlocale(LC_NUMERIC, old.c_str());
    EXPECT_EQ(r.text, "N040.41.20.616");
    EXPECT_EQ(n, "-074.02.40.690");
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
