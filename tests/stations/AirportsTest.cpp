#include "stations/Airports.h"
#include "shell/TextRoutines.h"
#include "stations/CoordinateInput.h"

#include "TestPaths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <set>
#include <string>
#include <sys/stat.h>

using namespace quadrantel::stations;
using namespace quadrantel::test;
using namespace std::string_view_literals;

TEST(Airports, FirstRecordWithTheCodeGivesItsCoordinates)
{
    TempDir dir;
    const std::string file = dir.file("airports.dat");
    WriteFile(file, "\r\n"
                    "KJFK:New York JFK:New York:US:13:N040.38.23.000:W073.46.44.000\r\n"
                    "lirf:Fiumicino:Rome:IT:13:N041.48.01.000:E012.14.20.000:extra\n"
                    "LIRF:Second:Rome:IT:13:N000.00.00.000:E000.00.00.000\n"
                    "SHRT:a:b:c:d:N040.38.23.000\nSHRT:a:b:c:d:N040.38.23.000:W073.46.44.000\n" +
                        std::string(":::\n\0\0\xff:\n\0"sv) + std::string(100000, ':') +
                        "\nEGLL:Heathrow:London:GB:83:N051.28.39.000:W000.27.41.000");
    auto r = LookupAirport(file, "  kjfk ");
    EXPECT_EQ(r.outcome, AirportOutcome::Found);
    EXPECT_EQ(r.latitude, "N040.38.23.000");
    EXPECT_EQ(r.longitude, "W073.46.44.000"); // no CR from the line end
    EXPECT_EQ(LookupAirport(file, "LIRF").latitude, "N041.48.01.000");
    EXPECT_EQ(LookupAirport(file, "EGLL").longitude, "W000.27.41.000"); // last line, no line end
    EXPECT_EQ(LookupAirport(file, "SHRT").outcome, AirportOutcome::ShortRecord);
    EXPECT_EQ(LookupAirport(file, "KLAX").outcome, AirportOutcome::NotFound);
    EXPECT_EQ(LookupAirport(file, "  ").outcome, AirportOutcome::NoCode);
    EXPECT_EQ(LookupAirport(dir.file("none.dat"), "KJFK").outcome, AirportOutcome::FileMissing);
    // Guards against a hang before the window shows: a pipe is never opened.
    ASSERT_EQ(::mkfifo(dir.file("pipe.dat").c_str(), 0600), 0);
    EXPECT_EQ(LookupAirport(dir.file("pipe.dat"), "KJFK").outcome, AirportOutcome::FileMissing);
}

TEST(Airports, FoundBesideTheProgramOrInItsShareFolder)
{
    TempDir dir;
    // A folder name that is no UTF-8 is still found byte for byte.
    const std::string bin = dir.file("J\xfcrgen/bin"), shared = dir.file("J\xfcrgen/share/quadrantel");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(shared);
    EXPECT_EQ(AirportsFile(bin), bin + "/airports.dat"); // neither: the message names the first place
    WriteFile(shared + "/airports.dat", "X:1:2:3:4:5:6\n");
    EXPECT_EQ(AirportsFile(bin), shared + "/airports.dat");
    WriteFile(bin + "/airports.dat", "X:1:2:3:4:5:6\n");
    EXPECT_EQ(AirportsFile(bin), bin + "/airports.dat");
}

TEST(Airports, ShippedFileCoversTheWorldInHemisphereForm)
{
    const std::string shipped = QUADRANTEL_DATA_DIR "/airports.dat";
    std::ifstream in(shipped);
    ASSERT_TRUE(in);
    std::string line;
    std::set<std::string> codes, hemispheres;
    while (std::getline(in, line)) {
        const auto fields = quadrantel::shell::SplitText(line, ":");
        ASSERT_EQ(fields.size(), 7u) << line;
        EXPECT_TRUE(codes.insert(fields[0]).second) << "duplicate " << fields[0];
        // What the four-character airport box can take, in the capitals it sends.
        EXPECT_LE(fields[0].size(), 4u) << line;
        EXPECT_EQ(fields[0].find_first_of(" abcdefghijklmnopqrstuvwxyz"), std::string::npos) << line;
        EXPECT_EQ(CheckLatitude(fields[5]).text + CheckLongitude(fields[6]).text, fields[5] + fields[6]) << line;
        EXPECT_TRUE(CheckLatitude(fields[5]).ok && CheckLongitude(fields[6]).ok) << line;
        hemispheres.insert(fields[5].substr(0, 1) + fields[6].substr(0, 1));
    }
    EXPECT_GE(codes.size(), 5000u);
    EXPECT_EQ(hemispheres.size(), 4u);
    for (const auto& [code, latitude] :
         {std::pair{"EDDM", "N048.21.14.000"}, {"LOWW", "N048.06.37.000"}, {"scel", "S033.23.35.000"}})
        EXPECT_EQ(LookupAirport(shipped, code).latitude, latitude) << code;
}
