#include "platform/Runtime.h"
#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quadrantel::platform;

TEST(Val, ReadsTheLeadingNumberOnly)
{
    EXPECT_EQ(Val("08.000"), 8.0);
    EXPECT_EQ(Val(" 1 2"), 12.0);
    EXPECT_EQ(Val("  -.5xyz"), -0.5);
    EXPECT_EQ(Val("1e3"), 1000.0);
    EXPECT_EQ(Val("1e"), 1.0);
    EXPECT_EQ(Val("1e999"), 0.0); // overflow must not hand an infinity to callers
}

TEST(Rounding, HalfToEvenAndFloor)
{
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
    EXPECT_EQ(RoundHalfEven(2.5000001), 3.0);
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
    EXPECT_EQ(Format(123, "0#"), "123");
    EXPECT_EQ(Format(59.9996, "0#.##0"), "60.000");
    EXPECT_EQ(Format(-1250, "000000"), "-001250");
    EXPECT_EQ(Format(-0.0001, "000"), "000");
}

TEST(SecondsBetween, CountsSecondBoundariesCrossed)
{
    const QDateTime a(QDate(2024, 1, 31), QTime(12, 0, 0, 900));
    EXPECT_EQ(SecondsBetween(a, a.addMSecs(100)), 1);
    EXPECT_EQ(SecondsBetween(a, a.addMSecs(99)), 0);
    EXPECT_EQ(SecondsBetween(a, a.addMSecs(-1000)), -1);
}

TEST(Text, CaseAndTrim)
{
    EXPECT_EQ(UCase("dlh123\xe9"), "DLH123\xc9");
    EXPECT_TRUE(EqualsNoCase("Autostart", "AutoStart"));
    EXPECT_FALSE(EqualsNoCase("Auto", "AutoStart"));
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(RTrim("   "), "");
}

TEST(IgnoreErrors, LaterStepsStillRun)
{
    int ran = 0;
    EXPECT_FALSE(IgnoreErrors([&] { throw RuntimeError(5, "x", "y"); }));
    EXPECT_TRUE(IgnoreErrors([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
}
