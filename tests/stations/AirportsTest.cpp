#include "stations/Airports.h"
#include "stations/CoordinateInput.h"

#include "TestPaths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

using namespace quadrantel::stations;
using quadrantel::test::TempDir;
using quadrantel::test::WriteFile;

TEST(Airports, FirstRecordWithTheCodeGivesItsCoordinates)
{
    TempDir dir;
    const std::string file = dir.file("airports.dat");
    WriteFile(file, "\r\n"
                    "KJFK:New York JFK:New York:US:13:N040.38.23.000:W073.46.44.000\r\n"
                    "\n"
                    "lirf:Fiumicino:Rome:IT:13:N041.48.01.000:E012.14.20.000:extra\n"
                    "LIRF:Second:Rome:IT:13:N000.00.00.000:E000.00.00.000\n"
                    "EGLL:Heathrow:London:GB:83:N051.28.39.000:W000.27.41.000");
    auto r = LookupAirport(file, "  kjfk ");
    EXPECT_EQ(r.outcome, AirportOutcome::Found);
    EXPECT_EQ(r.code, "KJFK");
    EXPECT_EQ(r.latitude, "N040.38.23.000");
    EXPECT_EQ(r.longitude, "W073.46.44.000");
    r = LookupAirport(file, "LIRF");
    EXPECT_EQ(r.latitude, "N041.48.01.000");
    r = LookupAirport(file, "EGLL"); // last line without line end
    EXPECT_EQ(r.longitude, "W000.27.41.000");
    EXPECT_EQ(LookupAirport(file, "KLAX").outcome, AirportOutcome::NotFound);
    EXPECT_EQ(LookupAirport(file, "  ").outcome, AirportOutcome::NoCode);
}

TEST(Airports, MissingFileAndShortRecordAreTheirOwnOutcomes)
{
    TempDir dir;
    EXPECT_EQ(LookupAirport(dir.file("none.dat"), "KJFK").outcome, AirportOutcome::FileMissing);
    EXPECT_EQ(LookupAirport(dir.path(), "KJFK").outcome, AirportOutcome::FileMissing);
    const std::string file = dir.file("airports.dat");
    WriteFile(file, "KJFK:New York:N040.38.23.000\nKJFK:a:b:c:d:N040.38.23.000:W073.46.44.000\n:::\n::::::\n");
    EXPECT_EQ(LookupAirport(file, "KJFK").outcome, AirportOutcome::ShortRecord);
    // Rubbish lines: separators only, binary bytes, a very long line.
    WriteFile(file, std::string(":::\n\0\0\xff:\n", 10) + std::string(100000, ':') + "\nX:1:2:3:4:5:6\n");
    const auto r = LookupAirport(file, "x");
    EXPECT_EQ(r.outcome, AirportOutcome::Found);
    EXPECT_EQ(r.longitude, "6");
}

TEST(Airports, ShippedFileCoversTheWorldInHemisphereForm)
{
    std::ifstream in(QUADRANTEL_DATA_DIR "/airports.dat");
    ASSERT_TRUE(in);
    std::string line;
    std::set<std::string> codes;
    int north = 0, south = 0, east = 0, west = 0;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        const auto code = line.substr(0, line.find(':'));
        const auto r = LookupAirport(QUADRANTEL_DATA_DIR "/airports.dat", code);
        ASSERT_EQ(r.outcome, AirportOutcome::Found) << line;
        EXPECT_TRUE(codes.insert(code).second) << "duplicate " << code;
        EXPECT_TRUE(CheckLatitude(r.latitude).ok && CheckLatitude(r.latitude).text == r.latitude) << line;
        EXPECT_TRUE(CheckLongitude(r.longitude).ok && CheckLongitude(r.longitude).text == r.longitude) << line;
        (r.latitude[0] == 'N' ? north : south)++;
        (r.longitude[0] == 'E' ? east : west)++;
    }
    EXPECT_GE(codes.size(), 60u);
    EXPECT_GE(south, 8);
    EXPECT_GE(west, 15);
    EXPECT_GE(north, 30);
    EXPECT_GE(east, 25);
    EXPECT_EQ(LookupAirport(QUADRANTEL_DATA_DIR "/airports.dat", "KJFK").latitude.substr(0, 8), "N040.38.");
}
