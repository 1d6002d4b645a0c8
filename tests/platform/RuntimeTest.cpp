#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "support/CommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

using namespace quadrantel::platform;

// Settings, altitudes and coordinates are read through Val: the leading number only, in any
// of the runtime's forms, and never an infinity for a caller to compute with.
TEST(Val, ReadsTheLeadingNumberInTheRuntimesForms)
{
    for (const auto& [text, value] : std::vector<std::pair<std::string, double>>{
             {" +1 2", 12.0},
             {"-.5xyz", -0.5},
             {"1.5.7", 1.5},
             {"25e2", 2500.0},
             {"1.5D-1", 0.15},
             {"2e+1e1", 20.0},
             {"3e", 3.0},
             {"e5", 0.0},
             {"1e999", 0.0},
             {"-1e999", 0.0},
         })
        EXPECT_EQ(Val(text), value) << text;
}

TEST(Rounding, HalfToEvenAndFloor)
{
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(Int(-0.5), -1.0);
    EXPECT_EQ(CInt(32767.4), 32767);
    EXPECT_EQ(CInt(-32768.5), -32768);
    EXPECT_THROW(CInt(32767.5), RuntimeError);
    EXPECT_THROW(CInt(std::nan("")), RuntimeError);
    EXPECT_THROW(CLng(3e9), RuntimeError);
}

TEST(Format, DigitPatterns)
{
    EXPECT_EQ(Format(359.6, "000"), "360");
    EXPECT_EQ(Format(2.5, "000"), "003"); // ties away from zero, unlike CInt
    EXPECT_EQ(Format(1234, "000"), "1234");
    EXPECT_EQ(Format(7, "0##"), "007");
    EXPECT_EQ(Format(59.9996, "0#.##0"), "60.000");
    EXPECT_EQ(Format(-1250, "000000"), "-001250");
    EXPECT_EQ(Format(-0.0001, "000"), "000");
}

// Guards against numbers written through the C library's conversions, which follow the locale
// Qt sets from the environment: a decimal comma under de_DE.
TEST(NumberText, PrintfConversionsWithAPointInAnyLocale)
{
    const quadrantel::test::CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "scripts/install-deps generates de_DE.UTF-8";
    for (const auto& [value, conversion, precision, text] : std::vector<std::tuple<double, char, int, std::string>>{
             {1.25, 'f', 1, "1.2"},
             {-0.5, 'f', 0, "-0"},
             {1e21, 'f', 0, "1000000000000000000000"},
             {1234.5, 'g', 15, "1234.5"},
             {2.5e20, 'G', 15, "2.5E+20"},
             {12.0, 'e', 2, "1.20e+01"},
         })
        EXPECT_EQ(NumberText(value, conversion, precision), text);
}

TEST(SecondsBetween, CountsSecondBoundariesCrossed)
{
    const QDateTime a(QDate(2024, 1, 31), QTime(12, 0, 0, 900));
    EXPECT_EQ(SecondsBetween(a, a.addMSecs(100)), 1);
    EXPECT_EQ(SecondsBetween(a, a.addMSecs(99)), 0);
    EXPECT_EQ(SecondsBetween(a, a.addMSecs(-1000)), -1);
}

// A value of blanks read from a settings file is no value.
TEST(Text, BlanksAloneTrimToNothing)
{
    EXPECT_EQ(RTrim("   "), "");
}
