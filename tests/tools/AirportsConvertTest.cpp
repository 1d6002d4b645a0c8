#include "TestPaths.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <string>

using quadrantel::test::ReadFile;
using quadrantel::test::TempDir;

namespace {
int Convert(const QStringList& args, std::string* printed = nullptr)
{
    QProcess p;
    p.start(AIRPORTS_CONVERT, args);
    if (!p.waitForFinished(30000))
        return -1;
    if (printed != nullptr)
        *printed = p.readAllStandardOutput().toStdString();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
} // namespace

TEST(AirportsConvert, WritesOneRecordPerAirportFromCsvOrJson)
{
    TempDir dir;
    const std::string out = dir.file("airports.dat");
    ASSERT_EQ(Convert({QUADRANTEL_TEST_DATA_DIR "/airports-sample.csv", QString::fromStdString(out)}), 0);
    const std::string text = ReadFile(out);
    EXPECT_EQ(text, "KJFK:John F Kennedy International Airport:New York:US:13:N040.38.22.000:W073.46.46.000\n"
                    "SPIM:Jorge Ch\xe1vez International Airport:Lima:PE:113:S012.01.19.000:W077.06.51.000\n"
                    "XQTE:Field \"A\"  north, \"B\" second line:Town  Old:ZZ::S000.00.00.000:W000.00.00.000\n"
                    "XCAR:Carry:X:ZZ:1:N011.00.00.000:E180.00.00.000\n");

    // The JSON form of the same columns goes through the same rules: Latin-1 kept, other
    // characters "?", separators blanked, numbers or texts, null as empty, closed,
    // duplicate and out-of-range records dropped, seconds carried.
    ASSERT_EQ(Convert({QUADRANTEL_TEST_DATA_DIR "/airports-sample.json", QString::fromStdString(out)}), 0);
    EXPECT_EQ(ReadFile(out), "KJFK:John F Kennedy International Airport:New York:US:13:N040.38.22.000:W073.46.46.000\n"
                             "SPIM:Jorge Ch\xe1vez  ??:Lima:PE::S012.01.19.000:W077.06.51.000\n"
                             "XCAR:Carry:X:ZZ:1:N011.00.00.000:E180.00.00.000\n"
                             "XJSN:Long ident:X:ZZ:12:N012.00.00.000:E012.00.00.000\n");
}

// The airport box takes four characters and the file is matched in capitals: a longer ident
// goes under its ICAO code, else its GPS code, unless that is another airport's own ident.
TEST(AirportsConvert, IdentsTheAirportBoxCannotTakeUseTheirCodes)
{
    TempDir dir;
    const std::string out = dir.file("airports.dat");
    std::string printed;
    ASSERT_EQ(Convert({QUADRANTEL_TEST_DATA_DIR "/airports-idents.csv", QString::fromStdString(out)}, &printed), 0);
    EXPECT_EQ(ReadFile(out), "XGPS:Only GPS:A:ZZ:1:N001.00.00.000:E001.00.00.000\n"
                             "XICA:ICAO and GPS:B:ZZ:2:N002.00.00.000:E002.00.00.000\n"
                             "XLOW:Lower case:E:ZZ:5:N005.00.00.000:E005.00.00.000\n"
                             "XOWN:Own code:G:ZZ:7:N007.00.00.000:E007.00.00.000\n");
    EXPECT_EQ(printed, "4 airports written (2 under their ICAO or GPS code), 2 left out for want of a code the "
                       "airport box takes, 1 rows skipped\n");
}

TEST(AirportsConvert, TypeListAndBadArguments)
{
    TempDir dir;
    const std::string out = dir.file("airports.dat");
    ASSERT_EQ(Convert({QUADRANTEL_TEST_DATA_DIR "/airports-sample.csv", QString::fromStdString(out), "closed"}), 0);
    EXPECT_EQ(ReadFile(out), "XCLO:Closed Field:Nowhere:ZZ:5:N010.00.00.000:E010.00.00.000\n");
    EXPECT_EQ(Convert({QString::fromStdString(dir.file("missing.csv")), QString::fromStdString(out)}), 1);
    EXPECT_EQ(Convert({}), 2);
    quadrantel::test::WriteFile(dir.file("bad.csv"), "a,b,c\n1,2,3\n");
    EXPECT_EQ(Convert({QString::fromStdString(dir.file("bad.csv")), QString::fromStdString(out)}), 1);
    // JSON that is broken, not a list of objects, or lacks a column fails instead of
    // writing an empty file.
    for (const char* bad : {"[{\"ident\": ", "{\"ident\": \"KJFK\"}", "[1, 2]",
                            "[{\"ident\": \"KJFK\", \"type\": \"large_airport\", \"name\": \"N\", "
                            "\"lat\": \"1\", \"lon\": \"2\", \"elevation_ft\": \"3\", \"iso_country\": \"US\", "
                            "\"municipality\": \"M\"}]"}) {
        quadrantel::test::WriteFile(dir.file("bad.json"), bad);
        EXPECT_EQ(Convert({QString::fromStdString(dir.file("bad.json")), QString::fromStdString(out)}), 1) << bad;
    }
}
