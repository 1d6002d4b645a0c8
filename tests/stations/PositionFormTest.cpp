#include "stations/PositionForm.h"
#include "platform/Controls.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace quadrantel;
using stations::PositionForm;
using stations::sLatitude;
using stations::sLongitude;

namespace {

constexpr uint32_t kRed = platform::RGB(255, 0, 0);

class PositionFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sLatitude = "stale";
        sLongitude = "stale";
        form.unloadWindow = [this] { ++unloads; };
        form.Form_Load();
    }

    bool ok(const std::string& lat, const std::string& lon)
    {
        form.txtLat.setText(lat);
        form.txtLong.setText(lon);
        const int before = unloads;
        form.cmdOk.click();
        return unloads > before;
    }

    test::ScriptedDialogs dialogs;
    PositionForm form;
    int unloads = 0;
};

TEST_F(PositionFormTest, LoadingClearsTheResultAndWritesTheInstructions)
{
    EXPECT_EQ(sLatitude, "");
    EXPECT_EQ(sLongitude, "");
    EXPECT_EQ(form.lblInfo.caption(), "\r\nEnter coordinates in decimal format: example: +40.689060  -74.044636\r\n"
                                      "+ POSITIVE value for Nord Latitude or East Longitude\r\n"
                                      " -  NEGATIVE value for South Latitude or West Longitude\r\n\n"
                                      "Alternatively use Towrix coordinates format\r\n"
                                      "Examples:  N031.31.08.000  E074.24.07.000  S031.31.20.000  W074.24.34.000 ");
    EXPECT_EQ(form.txtLat.maxLength(), 18);
    EXPECT_EQ(form.txtLong.maxLength(), 18);
    EXPECT_EQ(form.txtApt.maxLength(), 4);
}

TEST_F(PositionFormTest, DecimalDegreesAreRewrittenInHemisphereForm)
{
    EXPECT_TRUE(ok("+40.689060", "-74.044636"));
    EXPECT_EQ(form.txtLat.text(), "N040.41.20.616");
    EXPECT_EQ(form.txtLong.text(), "W074.02.40.690");
    EXPECT_EQ(sLatitude, "N040.41.20.616");
    EXPECT_EQ(sLongitude, "W074.02.40.690");

    EXPECT_TRUE(ok(" s031.31.20.000 ", "e074.24.07.000"));
    EXPECT_EQ(sLatitude, "S031.31.20.000");
    EXPECT_EQ(sLongitude, "E074.24.07.000");

    EXPECT_TRUE(ok("-.5", "0"));
    EXPECT_EQ(sLatitude, "S000.30.00.000");
    EXPECT_EQ(sLongitude, "E000.00.00.000");
}

TEST_F(PositionFormTest, InvalidInputTurnsRedAndKeepsTheWindowOpen)
{
    EXPECT_FALSE(ok("N31.31.08.000", "E074.24.07.000"));
    EXPECT_EQ(form.txtLat.foreColor(), kRed);
    EXPECT_EQ(form.txtLat.text(), "N31.31.08.000"); // left as typed for correcting
    EXPECT_EQ(form.txtLong.foreColor(), 0u);
    EXPECT_EQ(sLatitude, "");
    EXPECT_EQ(sLongitude, "E074.24.07.000");

    EXPECT_FALSE(ok("N031.31.08.000", ""));
    EXPECT_EQ(form.txtLat.foreColor(), 0u);
    EXPECT_EQ(form.txtLong.foreColor(), kRed);
    EXPECT_FALSE(ok("1000", "abc"));
    EXPECT_FALSE(form.closed());

    // Cancel leaves a half result that the setup window treats as none.
    ok("N031.31.08.000", "");
    form.cmdCancel.click();
    EXPECT_TRUE(form.closed());
    EXPECT_EQ(sLatitude, "N031.31.08.000");
    EXPECT_EQ(sLongitude, "");
}

TEST_F(PositionFormTest, AirportCodeFillsTheBoxesFromTheFile)
{
    test::TempDir dir;
    form.airportsFile = dir.file("airports.dat");
    test::WriteFile(form.airportsFile, "\n"
                                       "EDDF:Frankfurt:Frankfurt:Germany:364:N050.02.00.000:E008.34.14.000\n"
                                       "KJFK:Kennedy:New York:USA:13:N040.38.23.000:W073.46.44.000\n"
                                       "SHRT:Short:record\n");
    form.txtApt.setText(" kjfk");
    form.cmdApt.click();
    EXPECT_EQ(form.txtApt.text(), "KJFK");
    EXPECT_EQ(form.txtLat.text(), "N040.38.23.000");
    EXPECT_EQ(form.txtLong.text(), "W073.46.44.000");

    for (const char* code : {"ZZZZ", "SHRT", "  "}) {
        form.txtApt.setText(code);
        form.cmdApt.click();
        EXPECT_EQ(form.txtLat.text(), "N040.38.23.000") << code;
        EXPECT_EQ(form.txtLong.text(), "W073.46.44.000") << code;
    }
    EXPECT_TRUE(dialogs.asked.empty());

    // A missing file is said, and the boxes stay as they are.
    form.airportsFile = dir.file("missing.dat");
    form.txtApt.setText("EDDF");
    form.cmdApt.click();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_NE(dialogs.asked[0].text.find("missing.dat"), std::string::npos);
    EXPECT_EQ(form.txtLat.text(), "N040.38.23.000");
}

} // namespace
