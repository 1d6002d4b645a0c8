#include "shell/Settings.h"

#include "platform/ProfileFile.h"
#include "platform/Runtime.h"

namespace quadrantel::shell {

std::string TrimAtNull(std::string_view text)
{
    return std::string(text.substr(0, text.find('\0')));
}

std::string ReadIniValue(const std::string& file, const std::string& key, const std::string& defaultValue,
                         const std::string& section)
{
    std::string buffer;
    const auto n = platform::GetPrivateProfileString(section, key, defaultValue, buffer, 255, file);
    if (n == 0)
        return {};
    return platform::RTrim(TrimAtNull(buffer));
}

bool WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value)
{
    return platform::WritePrivateProfileString(section, key, value, file);
}

} // namespace quadrantel::shell
