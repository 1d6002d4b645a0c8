#include "stations/Airports.h"

#include "platform/DataFolders.h"
#include "platform/Runtime.h"
#include "shell/TextRoutines.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace quadrantel::stations {

std::string AirportsFile()
{
    return AirportsFile(platform::ProgramFolder());
}

namespace {

// Paths stay bytes: a folder name that is not UTF-8 must still be found.
bool IsRegularFile(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

} // namespace

std::string AirportsFile(const std::string& programFolder)
{
    std::string beside = programFolder + "/airports.dat";
    if (IsRegularFile(beside))
        return beside;
    std::string shared =
        std::filesystem::path(programFolder + "/../share/quadrantel/airports.dat").lexically_normal().string();
    return IsRegularFile(shared) ? shared : beside;
}

AirportLookup LookupAirport(const std::string& file, std::string_view code)
{
    AirportLookup result;
    result.code = platform::Trim(platform::UCase(code));
    if (result.code.empty()) {
        result.outcome = AirportOutcome::NoCode;
        return result;
    }
    // Never open a pipe or a device: reading one would hang the window.
    std::ifstream in;
    if (IsRegularFile(file))
        in.open(file, std::ios::binary);
    if (!in.is_open()) {
        result.outcome = AirportOutcome::FileMissing;
        return result;
    }
    std::string line;
    while (std::getline(in, line)) {
        // Lines may end in CR LF.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        // Only the code is needed to reject a line; split the rest on a match.
        const auto colon = line.find(':');
        if (platform::UCase(std::string_view(line).substr(0, colon)) != result.code)
            continue;
        const auto fields = shell::SplitText(line, ":");
        if (fields.size() < 7) {
            result.outcome = AirportOutcome::ShortRecord;
            return result;
        }
        result.outcome = AirportOutcome::Found;
        result.latitude = fields[5];
        result.longitude = fields[6];
        return result;
    }
    // A folder given as the file, or a read error, is an unreadable file, not a miss.
    result.outcome = in.bad() ? AirportOutcome::FileMissing : AirportOutcome::NotFound;
    return result;
}

} // namespace quadrantel::stations
