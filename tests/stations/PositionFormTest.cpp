#include "stations/PositionForm.h"
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
        sLatitude = sLongitude = "stale";
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

TEST_F(PositionFormTest, NothingIsConfirmedOnLoad)
{
    EXPECT_EQ(sLatitude + sLongitude, "");
}

TEST_F(PositionFormTest, OkMarksTheInvalidBoxRedAndKeepsTheWindow)
{
    EXPECT_FALSE(ok("N31.31.08.000", "E074.24.07.000"));
    EXPECT_EQ(form.txtLat.foreColor(), kRed);
    EXPECT_EQ(form.txtLong.foreColor(), 0u);
    EXPECT_EQ(sLatitude, "");
    EXPECT_FALSE(ok("N031.31.08.000", ""));
    EXPECT_EQ(form.txtLat.foreColor(), 0u);
    EXPECT_EQ(form.txtLong.foreColor(), kRed);
}

// The setup window treats a half result as none.
TEST_F(PositionFormTest, CancelLeavesTheHalfTakenSoFar)
{
    ok("N031.31.08.000", "");
    form.cmdCancel.click();
    EXPECT_TRUE(form.closed());
    EXPECT_EQ(sLatitude + "|" + sLongitude, "N031.31.08.000|");
}

TEST_F(PositionFormTest, OkTakesAValidPairInEitherNotationAndCloses)
{
    EXPECT_TRUE(ok("+40.689060", " e074.24.07.000"));
    EXPECT_EQ(sLatitude, "N040.41.20.616");
    EXPECT_EQ(sLongitude, "E074.24.07.000");
}

class AirportButtonTest : public PositionFormTest {
protected:
    void SetUp() override
    {
        PositionFormTest::SetUp();
        form.airportsFile = dir.file("airports.dat");
        test::WriteFile(form.airportsFile, "KJFK:Kennedy:New York:USA:13:N040.38.23.000:W073.46.44.000\n");
    }
    void press(const std::string& code)
    {
        form.txtApt.setText(code);
        form.cmdApt.click();
    }
    test::TempDir dir;
};

TEST_F(AirportButtonTest, ACodeFillsTheBoxesFromTheFile)
{
    press(" kjfk");
    EXPECT_EQ(form.txtApt.text(), "KJFK");
    EXPECT_EQ(form.txtLat.text(), "N040.38.23.000");
    EXPECT_EQ(form.txtLong.text(), "W073.46.44.000");
}

TEST_F(AirportButtonTest, AnUnknownCodeLeavesTheBoxesSilently)
{
    form.txtLong.setText("W073.46.44.000");
    press("ZZZZ");
    EXPECT_EQ(form.txtLong.text(), "W073.46.44.000");
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(AirportButtonTest, AMissingFileIsNamed)
{
    form.airportsFile = dir.file("missing.dat");
    press("KJFK");
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_NE(dialogs.asked[0].text.find("missing.dat"), std::string::npos);
    EXPECT_EQ(form.txtLat.text(), "");
}

} // namespace
