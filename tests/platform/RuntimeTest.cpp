#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "support/CommaLocale.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
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

// The quick reading of plain decimals must give the very double the general one gives.
TEST(Val, ReadsAPlainDecimalAsFromCharsAndAnythingElseAsTheRuntimeDoes)
{
    std::uint64_t r = 88172645463325252ull; // xorshift: the same decimals on every run
    for (int i = 0; i < 100000; ++i) {
        r ^= r << 13;
        r ^= r >> 7;
        r ^= r << 17;
        const double x = static_cast<double>(r % 2'000'000'000'000) / 1e6 - 1e6;
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, x, std::chars_format::fixed, i % 8).ptr;
        double expected = 0;
        std::from_chars(text, end, expected);
        ASSERT_EQ(Val(std::string_view(text, static_cast<std::size_t>(end - text))), expected) << text;
    }
    EXPECT_EQ(Val("1 2.5e1x"), 125);
    EXPECT_EQ(Val("1234567890123456"), 1234567890123456.0); // 16 digits: the general way
    EXPECT_EQ(Val("-.5"), -0.5);
    EXPECT_EQ(Val("5."), 5);
    EXPECT_EQ(Val("&H10"), 0);
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
