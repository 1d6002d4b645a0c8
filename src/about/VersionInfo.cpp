#include "about/VersionInfo.h"

#include "platform/Modules.h"
#include "platform/VersionResource.h"
#include "shell/Settings.h"

#include <cstring>

namespace quadrantel::about {
namespace {

constexpr const char* kSource = "VersionInfo";

std::string ZeroPad(uint8_t byte)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    return {kHex[byte >> 4], kHex[byte & 0xF]};
}

// Four hex digits read as a signed 16-bit number, as "&H" literals are.
int32_t HexWord(const std::string& digits)
{
    return static_cast<int16_t>(static_cast<uint16_t>(std::stoul(digits, nullptr, 16)));
}

} // namespace

void VersionInfo::setFileName(const std::string& name)
{
    fileName_ = name;
    ReadVersionInfo(false);
}

void VersionInfo::setModuleName(const std::string& name)
{
    moduleName_ = name;
    ReadVersionInfo(true);
}

void VersionInfo::record(long number, const char* text)
{
    errors_.emplace_back(number, kSource, text);
}

// Every step runs even when an earlier one failed; a failure is recorded, never raised.
// Data of an earlier load is dropped first, so a file without a resource never shows the
// previous file's values.
void VersionInfo::ReadVersionInfo(bool byModule)
{
    errors_.clear();
    data_.clear();
    translation_.clear();
    fixed_ = {};

    if (byModule && !moduleName_.empty()) {
        const platform::ModuleHandle module = platform::GetModuleHandle(moduleName_);
        if (module == 0)
            record(-2127660987, "Unable to retrieve module handle.");
        // Handle 0 stands for the program's own file.
        fileName_ = platform::GetModuleFileName(module);
        if (fileName_.empty())
            record(-2127660986, "Unable to retrieve module file name.");
    }

    if (fileName_.empty())
        record(-2127660985, "Either you haven't specified a valid file name, or the module you specified can't be "
                            "associated with a file.");

    const uint32_t size = platform::GetFileVersionInfoSize(fileName_);
    if (size == 0)
        record(-2127660984,
               "Unable to retrieve the version info size. Perhaps the module name or file name is invalid.");

    if (!platform::GetFileVersionInfo(fileName_, size, data_)) {
        record(-2127660983, "Unable to retrieve version information.");
        data_.clear();
    }

    std::string words;
    if (!platform::VerQueryValue(data_, "\\VarFileInfo\\Translation", words))
        record(-2127660982, "Unable to retrieve language and code page information.");
    // Missing bytes read as zero, and a zero translation means US English, Windows Latin-1.
    words.resize(std::max<std::size_t>(words.size(), 4), '\0');
    const auto b = [&](int i) { return static_cast<uint8_t>(words[static_cast<std::size_t>(i)]); };
    translation_ = ZeroPad(b(1)) + ZeroPad(b(0)) + ZeroPad(b(3)) + ZeroPad(b(2));
    if (translation_ == "00000000")
        translation_ = "040904E4";

    std::string fixed;
    if (platform::VerQueryValue(data_, "\\", fixed) && fixed.size() >= sizeof(FixedFileInfo)) {
        std::memcpy(&fixed_, fixed.data(), sizeof(FixedFileInfo));
        if (fixed_.signature != platform::kFixedFileInfoSignature)
            fixed_ = {};
    }
    if (fixed_.signature == 0)
        record(-2127660981, "Unable to retrieve fixed file version information.");
}

std::string VersionInfo::GetStringValue(const std::string& key) const
{
    std::string value;
    if (!platform::VerQueryValue(data_, "\\StringFileInfo\\" + translation_ + "\\" + key, value) || value.empty())
        return {};
    value.pop_back(); // a buffer of the returned length minus one
    return shell::TrimAtNull(value);
}

int32_t VersionInfo::Language() const
{
    return translation_.size() == 8 ? HexWord(translation_.substr(0, 4)) : 0;
}

int32_t VersionInfo::CodePage() const
{
    return translation_.size() == 8 ? HexWord(translation_.substr(4, 4)) : 0;
}

std::string VersionInfo::FileFlags() const
{
    const uint32_t flags = FileFlagsRaw();
    std::string text;
    for (const auto& [bit, word] :
         {std::pair{0x01u, "Debug "}, std::pair{0x04u, "Patched "}, std::pair{0x02u, "Pre-release "},
          std::pair{0x08u, "Private "}, std::pair{0x20u, "Special "}})
        if (flags & bit)
            text += word;
    return text;
}

std::string VersionInfo::FileOS() const
{
    static constexpr const char* kApi[] = {"Unknown API", "Win16 API", "PM16 API", "PM32 API", "Win32 API"};
    static constexpr const char* kSystem[] = {"", " on DOS", " on OS2/16", " on OS2/32", " on Windows NT"};
    const uint32_t low = fixed_.fileOS & 0xFFFF;
    const uint32_t high = fixed_.fileOS >> 16;
    return std::string(kApi[low <= 4 ? low : 0]) + kSystem[high <= 4 ? high : 0];
}

std::string VersionInfo::FileType() const
{
    static constexpr const char* kTypes[] = {"Unknown", "Application", "DLL", "Driver",
                                             "Font",    "VXD",         "",    "Static-link library"};
    return fixed_.fileType < 8 ? kTypes[fixed_.fileType] : "";
}

std::string VersionInfo::FileSubType() const
{
    static constexpr const char* kDrivers[] = {"Unknown",     "Printer", "Keyboard",       "Language",
                                               "Display",     "Mouse",   "Network",        "System",
                                               "Installable", "Sound",   "Communications", "Input Method"};
    static constexpr const char* kFonts[] = {"Unknown", "Raster", "Vector", "TrueType"};
    const uint32_t sub = fixed_.fileSubtype;
    switch (fixed_.fileType) {
    case 3:
        return sub < 12 ? kDrivers[sub] : "Unknown";
    case 4:
        return sub < 4 ? kFonts[sub] : "Unknown";
    case 5:
        return std::to_string(sub);
    default:
        return "Unknown";
    }
}

} // namespace quadrantel::about
