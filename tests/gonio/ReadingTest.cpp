#include "gonio/Reading.h"

#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <map>

using namespace quadrantel;
using namespace quadrantel::gonio;

namespace {

// Station on the equator at the prime meridian: a degree of latitude is 60 NM.
const char* kStation = "HOME N000.00.00.000 E000.00.00.000";

class ReadingTest : public ::testing::Test {
protected:
    ReadingTest()
    {
        txtStation.setText(kStation);
        lstStrips.onClick = [this] { reading.lstStrips_Click(); };
        chkGonio.setValue(1);
    }

    void plane(const std::string& call, double lat, double lon, std::optional<double> altitude = 35000,
               traffic::Source source = traffic::Source::Link)
    {
        traffic::Position p;
        p.source = source;
        p.latitude = lat;
        p.longitude = lon;
        p.altitudeFt = altitude;
        fixes[call] = traffic::Fix{p, {}};
    }

    platform::TextBox txtGonio, txtQDM, txtQDR;
    platform::Image imgSignal, imgGonio, imgMonitor, imgSpeak;
    platform::CheckBox chkGonio, chkLock, cmdPicTowrix;
    platform::ComboBox txtStation;
    platform::ListBox lstStrips;
    platform::Label lblHdg, lblError;
    platform::Line Line1, Line2, Line3;
    platform::Shape Shape1;
    GaugePanel gauge{
        {Shape1, Line1, Line2, Line3, lblHdg, imgGonio, chkGonio, cmdPicTowrix, imgMonitor, imgSpeak, lblError}};
    std::map<std::string, traffic::Fix> fixes;
    int32_t lastSpeech = 0;
    int32_t now = 100;
    bool minimized = false;
    std::string title;
    Reading reading{
        {txtGonio, txtQDM, txtQDR, imgSignal, chkGonio, chkLock, txtStation, lstStrips, lblHdg, Line1, Line2, Line3},
        gauge,
        lastSpeech,
        {.fix = [this](const std::string& call) -> std::optional<traffic::Fix> {
             const auto it = fixes.find(call);
             return it == fixes.end() ? std::nullopt : std::optional(it->second);
         },
         .secondsNow = [this] { return now; },
         .isMinimized = [this] { return minimized; },
         .setTitle = [this](const std::string& t) { title = t; },
         .reseedRandom = nullptr}};
};

TEST_F(ReadingTest, BearingsDistanceAndRange)
{
    struct Case {
        const char* what;
        double lat, lon;
        std::optional<double> altitude;
        const char* qdr;
        const char* qdm;
        const char* toolTip;
    };
    const double cm3 = 0.03 / 1852 / 60; // three centimetres in degrees at the equator
    const Case cases[] = {
        {"south: QDR 180 gives QDM 360", -1, 0, 35000, "180", "360", "Distance 60  (229/35000ft )"},
        {"just west of north: QDR 360", 1, -0.001, 35000, "360", "180", "Distance 60  (229/35000ft )"},
        {"at the horizon", 229.0 / 60, 0, 35000, "000", "180", "Distance 229  (229/35000ft )"},
        {"past the horizon", 230.0 / 60, 0, 35000, "---", "---", "Distance 230  (229/35000ft )"},
        {"under 10 NM at no height", 9.4 / 60, 0, 0, "000", "180", "Distance 9  (0/0ft )"},
        {"10 NM at no height", 10.0 / 60, 0, 0, "---", "---", "Distance 10  (0/0ft )"},
        {"an unknown altitude has no horizon", 10.0 / 60, 0, std::nullopt, "---", "---", "Distance 10  (0/ft )"},
        {"negative altitude has no horizon", 0.5, 0, -500, "---", "---", "Distance 30  (0/-500ft )"},
        // The course step has no answer for points this close; the reading is distance 0.
        {"three centimetres away", cm3 / 4, cm3, 35000, "000", "180", "Distance 0  (229/35000ft )"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        plane("P", c.lat, c.lon, c.altitude);
        txtGonio.setText("");
        ASSERT_NO_THROW(reading.Gonio("P"));
        const bool shown = std::string(c.qdr) != "---";
        EXPECT_EQ(txtGonio.text(), shown ? "P" : "out of range");
        EXPECT_EQ(txtQDR.text(), c.qdr);
        EXPECT_EQ(txtQDM.text(), c.qdm);
        EXPECT_EQ(txtQDR.tag(), shown ? c.qdr : "");
        EXPECT_EQ(txtQDM.tag(), shown ? c.qdm : "");
        EXPECT_EQ(imgSignal.rect().width, shown ? 3210 : 1000);
        EXPECT_EQ(txtGonio.toolTip(), c.toolTip);
    }
    // The data feed's pilot without an altitude is read, not put below the horizon on a guess.
    plane("F", 10.0 / 60, 0, std::nullopt, traffic::Source::Feed);
    reading.Gonio("F");
    EXPECT_EQ(txtQDR.text(), "000");
    EXPECT_EQ(txtGonio.toolTip(), "Distance 10  (altitude unknown)");
}

TEST_F(ReadingTest, UnknownCallsignAndTheMeridianOfW090)
{
    plane("P", 1, 0);
    reading.Gonio("P");
    EXPECT_THROW(reading.Gonio("NOBODY"), platform::RuntimeError);
    EXPECT_EQ(txtQDR.text(), "000"); // the last reading stays

    // An aircraft on W090 is read at W089.59.59.999: from a station there it is the station.
    txtStation.setText("HOME N010.00.00.000 W089.59.59.999");
    plane("P", 10, -90);
    reading.Gonio("P");
    EXPECT_EQ(txtQDR.text(), "180");
    EXPECT_EQ(txtGonio.toolTip(), "Distance 0  (229/35000ft )");
}

TEST_F(ReadingTest, ClickReadsTheSelectionUnlessLocked)
{
    plane("A", 1, 0);
    plane("B", -1, 0);
    lstStrips.addItem("A");
    lstStrips.addItem("B");
    lstStrips.setListIndex(0);
    EXPECT_EQ(txtGonio.text(), "A");

    now = 200;
    chkLock.setValue(1);
    plane("A", -1, 0); // A moves: only a new reading shows it
    lstStrips.setListIndex(1);
    EXPECT_EQ(txtGonio.text(), "A"); // locked: the aircraft on display is read again
    EXPECT_EQ(txtQDR.text(), "180");
    EXPECT_EQ(lastSpeech, 100);

    chkLock.setValue(0);
    fixes.erase("A");
    lstStrips.setListIndex(0); // an unknown callsign leaves the notice
    EXPECT_EQ(txtGonio.text(), "A calculating ...");
    EXPECT_EQ(lastSpeech, 200);

    chkGonio.setValue(0);
    lstStrips.setListIndex(1);
    EXPECT_EQ(txtGonio.text(), "A calculating ..."); // switched off: no reading
}

TEST_F(ReadingTest, TitleFollowsTheBearing)
{
    txtGonio.setText("DLH123");
    txtQDM.setText("210");
    txtQDR.onChange = [this] { reading.txtQDR_Change(); };
    txtQDR.setText("030");
    EXPECT_EQ(title, "Quadrantel - (HOME) DLH123 QDR[030]  QDM[210]");
    EXPECT_TRUE(Line1.visible());
    EXPECT_TRUE(lblHdg.visible());
    minimized = true;
    txtQDR.setText("031");
    EXPECT_EQ(title, "Gonio DLH123 QDR[031]  QDM[210]  (HOME)");
    reading.ClearReading();
    EXPECT_EQ(title, "Quadrantel");
    EXPECT_FALSE(Line1.visible());
    EXPECT_FALSE(lblHdg.visible());
    EXPECT_EQ(txtGonio.text(), "");
    EXPECT_EQ(txtQDM.text(), "---");
    EXPECT_FALSE(imgSignal.visible());
}

} // namespace
