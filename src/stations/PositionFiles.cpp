#include "stations/PositionFiles.h"

#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"
#include "shell/Settings.h"
#include "shell/TextRoutines.h"
#include "stations/CoordinateInput.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace quadrantel::stations {

namespace {

constexpr std::string_view kPrefix = "gonio_";
constexpr std::string_view kSuffix = ".position";

bool HasPositionFileForm(std::string_view name)
{
    return name.size() >= kPrefix.size() + kSuffix.size() && name.substr(0, kPrefix.size()) == kPrefix &&
           name.substr(name.size() - kSuffix.size()) == kSuffix;
}

bool IsSafeFilePart(std::string_view text)
{
    if (text.find_first_of("/\\") != std::string_view::npos || text.find("..") != std::string_view::npos)
        return false;
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

// The file of the folder named fileName: that very name when it exists, else the first that
// differs only in case (the Ids are case-blind); empty when there is none.
std::string FindPositionFile(const std::string& folder, const std::string& fileName)
{
    std::error_code ec;
    if (fs::exists(fs::symlink_status(fs::path(folder) / fileName, ec)))
        return fileName;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (platform::EqualsNoCase(name, fileName))
            return name;
    }
    return {};
}

} // namespace

std::string PositionId(std::string_view name, std::string_view latitude, std::string_view longitude)
{
    std::string id(name);
    id += ' ';
    id += latitude;
    id += ' ';
    id += longitude;
    return id;
}

std::string PositionFileName(std::string_view id)
{
    return std::string(kPrefix) + shell::ReplaceAll(id, " ", "_") + std::string(kSuffix);
}

std::string StripFileName(std::string_view rsFileName)
{
    const auto p = rsFileName.find_last_of("/\\");
    return p == std::string_view::npos ? std::string() : std::string(rsFileName.substr(0, p));
}

bool IsValidPositionName(std::string_view name)
{
    if (name.empty())
        return false;
    for (const char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

std::vector<std::string> FillPositionList(const std::string& folder)
{
    std::vector<std::string> ids;
    if (folder.empty())
        return ids;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        platform::IgnoreErrors([&] {
            const std::string name = it->path().filename().string();
            std::error_code fileEc;
            if (!HasPositionFileForm(name) || !it->is_regular_file(fileEc))
                return;
            std::string id = shell::ReadIniValue((folder + "/").append(name), "Id", "", shell::kSetup);
            if (!id.empty())
                ids.push_back(std::move(id));
        });
    }
    return ids;
}

std::vector<std::string> FillPositionList()
{
    return FillPositionList(shell::globals().sDataFolder);
}

std::optional<std::string> AddPosition(const std::string& folder, std::string_view name, std::string_view latitude,
                                       std::string_view longitude)
{
    if (folder.empty() || !IsValidPositionName(name) || name.size() > kMaxPositionName || !IsLatitudeText(latitude) ||
        !IsLongitudeText(longitude))
        return std::nullopt;
    std::string id = PositionId(name, latitude, longitude);
    std::string file = FindPositionFile(folder, PositionFileName(id));
    if (file.empty()) {
        file = PositionFileName(id);
    } else {
        // The station is there already: it keeps the case it was first saved with.
        std::string saved = shell::ReadIniValue(folder + "/" + file, "Id", "", shell::kSetup);
        if (platform::EqualsNoCase(saved, id))
            return saved;
    }
    if (!shell::WriteIniValue(folder + "/" + file, shell::kSetup, "Id", id))
        return std::nullopt;
    return id;
}

std::optional<std::string> AddPosition(std::string_view name, std::string_view latitude, std::string_view longitude)
{
    return AddPosition(shell::globals().sDataFolder, name, latitude, longitude);
}

int FindPosition(const std::vector<std::string>& list, std::string_view id)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (platform::EqualsNoCase(list[i], id))
            return static_cast<int>(i);
    return -1;
}

RemoveOutcome RemovePosition(const std::string& folder, const std::string& configFile, std::string_view stationText)
{
    if (!configFile.empty())
        shell::WriteIniValue(configFile, shell::kSetup, "Station", "");
    if (stationText.empty())
        return RemoveOutcome::NoText;
    // The text may have been typed into the box: it must not reach outside the folder.
    if (folder.empty() || !IsSafeFilePart(stationText))
        return RemoveOutcome::Refused;
    const std::string name = PositionFileName(stationText);
    if (!HasPositionFileForm(name))
        return RemoveOutcome::Refused;
    const std::string found = FindPositionFile(folder, name);
    if (found.empty())
        return RemoveOutcome::NotFound;
    const fs::path path = fs::path(folder) / found;
    std::error_code ec;
    // A link or a folder of that name is not a position file.
    if (!fs::is_regular_file(fs::symlink_status(path, ec)))
        return RemoveOutcome::NotFound;
    return fs::remove(path, ec) && !ec ? RemoveOutcome::Deleted : RemoveOutcome::NotDeleted;
}

RemoveOutcome RemovePosition(std::string_view stationText)
{
    const auto& g = shell::globals();
    return RemovePosition(g.sDataFolder, g.sConfigFile, stationText);
}

} // namespace quadrantel::stations
