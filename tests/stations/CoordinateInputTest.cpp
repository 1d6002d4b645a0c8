#include "stations/CoordinateInput.h"

#include "support/CommaLocale.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

using namespace quadrantel::stations;

// Guards against typos making stations off the earth (95.5 as N095.30.00.000) in either form.
TEST(CoordinateInput, TypedCoordinatesBecomeHemisphereTextOnTheEarth)
{
    struct Case {
        const char* typed;
        bool latitude;
        const char* text; // nullptr: refused, the typed text kept
    };
    for (const Case& c : std::initializer_list<Case>{{"  s031.31.20.000 ", true, "S031.31.20.000"},
                                                     {"-74.044636", false, "W074.02.40.690"},
                                                     {"-.5", true, "S000.30.00.000"},
                                                     {" 1.5e1 ", false, "E015.00.00.000"},
                                                     {"10.0166666", true, "N010.01.00.000"}, // seconds carry
                                                     {"-179.9999999", false, "W180.00.00.000"},
                                                     {"-180", false, "W180.00.00.000"},
                                                     {"N089.59.59.999", true, "N089.59.59.999"},
                                                     {"E180.00.00.000", false, "E180.00.00.000"},
                                                     {"90.0001", true, nullptr},
                                                     {"S090.00.00.001", true, nullptr},
                                                     {"W180.01.00.000", false, nullptr},
                                                     {"W180.00.01.000", false, nullptr},
                                                     {"E181.00.00.000", false, nullptr},
                                                     {"N045.60.00.000", true, nullptr},
                                                     {"N045.00.60.000", true, nullptr},
                                                     {"E031.31.08.000", true, nullptr},
                                                     {"N31.31.08.000", true, nullptr},
                                                     {"N031,31,08,000", true, nullptr}}) {
        const auto r = c.latitude ? CheckLatitude(c.typed) : CheckLongitude(c.typed);
        EXPECT_EQ(r.ok, c.text != nullptr) << c.typed;
        EXPECT_EQ(r.text, c.text ? c.text : c.typed);
    }
    for (const char* t : {"", "   ", "-", ".", "+-1", "1..2", "1e", "1e999", "12ab", "--5", "1,5", "0x10"})
        EXPECT_FALSE(CheckLatitude(t).ok) << t;
    EXPECT_TRUE(IsLatitudeText("N095.30.00.000")); // stored positions are read as they are
}

TEST(CoordinateInput, NormalizeWritesDegreesMinutesSecondsWithAPointWhateverTheLocale)
{
    // Guards against reading or writing numbers through the C locale's separator.
    const quadrantel::test::CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "scripts/install-deps generates de_DE.UTF-8";
    EXPECT_EQ(CheckLatitude("+40.689060").text, "N040.41.20.616");
    EXPECT_EQ(Normalize("1234.5"), "1234.30.00.000");
    EXPECT_EQ(Normalize("  "), "  ");
    EXPECT_EQ(Normalize("abc"), "");
    EXPECT_EQ(Normalize("1e300").substr(0, 4), "1000"); // very large, but no crash
}
