#pragma once

#include <string>
#include <string_view>

namespace quadrantel::stations {

enum class AirportOutcome {
    Found,       // latitude and longitude hold fields 5 and 6 of the record
    NoCode,      // the code was blank: nothing was read
    NotFound,    // no record has the code
    FileMissing, // the file is missing or cannot be read
    ShortRecord, // the first matching record has fewer than seven fields
};

struct AirportLookup {
    AirportOutcome outcome = AirportOutcome::NotFound;
    std::string code; // the code as looked up: upper case, trimmed
    std::string latitude;
    std::string longitude;
};

// airports.dat beside the program, else in ../share/quadrantel from the program's folder
// (an installed program); the first path when neither exists, so a message names it.
std::string AirportsFile();
std::string AirportsFile(const std::string& programFolder);

// Looks the code up in an airports file: ":"-separated records, code in field 0, latitude
// in field 5, longitude in field 6 (from 0); empty lines skipped; the first record whose
// upper-cased code equals the upper-cased, trimmed code wins. The coordinate fields are
// returned as they stand.
AirportLookup LookupAirport(const std::string& file, std::string_view code);

} // namespace quadrantel::stations
