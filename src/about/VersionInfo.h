#pragma once

#include "platform/RuntimeError.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quadrantel::about {

// The version resource of a program file or of a module loaded in the process. Setting
// FileName or ModuleName loads everything; the getters only read what was loaded, and a
// part that could not be read comes back as the empty text or 0.
class VersionInfo {
public:
    struct FixedFileInfo {
        uint32_t signature = 0, structVersion = 0;
        uint32_t fileVersionMS = 0, fileVersionLS = 0, productVersionMS = 0, productVersionLS = 0;
        uint32_t fileFlagsMask = 0, fileFlags = 0, fileOS = 0, fileType = 0, fileSubtype = 0;
        uint32_t fileDateMS = 0, fileDateLS = 0;
    };

    void setFileName(const std::string& name);
    const std::string& FileName() const { return fileName_; }
    void setModuleName(const std::string& name);
    const std::string& ModuleName() const { return moduleName_; }

    int32_t Language() const;
    int32_t CodePage() const;

    std::string CompanyName() const { return GetStringValue("CompanyName"); }
    std::string FileDescription() const { return GetStringValue("FileDescription"); }
    std::string FileVersion() const { return GetStringValue("FileVersion"); }
    std::string InternalName() const { return GetStringValue("InternalName"); }
    std::string LegalCopyright() const { return GetStringValue("LegalCopyright"); }
    std::string OriginalFileName() const { return GetStringValue("OriginalFileName"); }
    std::string ProductName() const { return GetStringValue("ProductName"); }
    std::string ProductVersion() const { return GetStringValue("ProductVersion"); }
    std::string LegalTrademarks() const { return GetStringValue("LegalTrademarks"); }
    std::string LegalTrademarks1() const { return GetStringValue("LegalTrademarks1"); }
    std::string LegalTrademarks2() const { return GetStringValue("LegalTrademarks2"); }
    std::string Comments() const { return GetStringValue("Comments"); }
    std::string PrivateBuild() const { return GetStringValue("PrivateBuild"); }
    std::string SpecialBuild() const { return GetStringValue("SpecialBuild"); }

    uint32_t FileFlagsRaw() const { return fixed_.fileFlags & fixed_.fileFlagsMask; }
    std::string FileFlags() const;
    uint32_t FileOSRaw() const { return fixed_.fileOS; }
    std::string FileOS() const;
    uint32_t FileTypeRaw() const { return fixed_.fileType; }
    std::string FileType() const;
    uint32_t FileSubTypeRaw() const { return fixed_.fileSubtype; }
    std::string FileSubType() const;

    // Language and code page of the first translation as 8 upper-case hex digits.
    const std::string& translation() const { return translation_; }
    const FixedFileInfo& fixedInfo() const { return fixed_; }
    // The errors recorded by the last load, in step order; nothing in the program reads them.
    const std::vector<platform::RuntimeError>& errors() const { return errors_; }

private:
    void ReadVersionInfo(bool byModule);
    void record(long number, const char* text);
    std::string GetStringValue(const std::string& key) const;

    std::string moduleName_;
    std::string fileName_;
    std::vector<uint8_t> data_;
    std::string translation_;
    FixedFileInfo fixed_;
    std::vector<platform::RuntimeError> errors_;
};

} // namespace quadrantel::about
