#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrantel::stations {

// A station's Id: name, latitude text and longitude text joined by single spaces.
std::string PositionId(std::string_view name, std::string_view latitude, std::string_view longitude);
// "gonio_" + Id with every space as "_" + ".position".
std::string PositionFileName(std::string_view id);
// The folder part of a path, without the separator ('/' or '\'); empty without one.
std::string StripFileName(std::string_view rsFileName);
// A position name holds the letters A to Z, a to z and the digits only.
bool IsValidPositionName(std::string_view name);
// The longest name whose position file name still fits a file name of 255 bytes.
inline constexpr std::size_t kMaxPositionName = 210;

// The Ids of the position files of a folder, in the order the folder lists them; files
// whose Id is missing or empty are left out. Errors are ignored. The second form reads the
// data folder.
std::vector<std::string> FillPositionList(const std::string& folder);
std::vector<std::string> FillPositionList();

// Writes (or updates in place) the position file of a station and returns its Id. Ids are
// told apart without regard to case: a file whose name differs only in case is updated, never
// joined by a second one, and an Id already saved keeps its case (and is returned). A name
// or coordinate text of the wrong form, a name longer than kMaxPositionName, an unknown
// folder or a failed write: nullopt.
std::optional<std::string> AddPosition(const std::string& folder, std::string_view name, std::string_view latitude,
                                       std::string_view longitude);
std::optional<std::string> AddPosition(std::string_view name, std::string_view latitude, std::string_view longitude);

// Index of the first entry equal to the Id without regard to case, or -1.
int FindPosition(const std::vector<std::string>& list, std::string_view id);

enum class RemoveOutcome {
    Deleted,
    NoText,    // nothing named: no file touched
    NotFound,  // no position file of that name
    Refused,   // the text could name a file outside the data folder
    NotDeleted // the file exists but could not be deleted
};

// Clears the saved station of the configuration file, then deletes the position file of the
// station text (typed or chosen), found without regard to case. Only a regular file of the data folder whose name has
// the position-file form is ever deleted: texts holding "/", "\", ".." or control characters are refused. The second
// form uses the data folder and the configuration file.
RemoveOutcome RemovePosition(const std::string& folder, const std::string& configFile, std::string_view stationText);
RemoveOutcome RemovePosition(std::string_view stationText);

} // namespace quadrantel::stations
