// libFuzzer target: program files and version blocks as untrusted input.
#include "platform/VersionResource.h"

#include <cstdio>
#include <string>

using namespace quadrantel::platform;

namespace {

void QueryAll(std::span<const uint8_t> data)
{
    std::string value;
    VerQueryValue(data, "\\", value);
    std::string translation = "040904E4";
    if (VerQueryValue(data, "\\VarFileInfo\\Translation", value) && value.size() >= 4) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", static_cast<uint8_t>(value[1]),
                      static_cast<uint8_t>(value[0]), static_cast<uint8_t>(value[3]), static_cast<uint8_t>(value[2]));
        translation = hex;
    }
    for (const char* key : {"FileVersion", "CompanyName", "ProductName"})
        VerQueryValue(data, "\\StringFileInfo\\" + translation + "\\" + key, value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> input(data, size);
    const std::vector<uint8_t> resource = FindVersionResource(SpanSource(input));
    if (resource.size() > 0xFFFF)
        __builtin_trap();
    QueryAll(resource);
    QueryAll(input); // the input read as a bare version block
    return 0;
}
