#include "shell/Config.h"

#include "platform/DataFolders.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/Settings.h"

namespace quadrantel::shell {

Globals& globals()
{
    static Globals g;
    return g;
}

std::string ChooseDataRoot()
{
    std::string root = platform::Environ("AppData");
    if (root.empty())
        root = platform::GetSpecialFolder(platform::CSIDL_APPDATA);
    if (root.empty())
        root = platform::GetSpecialFolder(platform::CSIDL_COMMON_APPDATA);
    if (root.empty())
        root = platform::ProgramFolder();
    return root;
}

void SetupDataFolder(const std::string& root)
{
    std::string base = root;
    while (base.size() > 1 && base.back() == kPathSep)
        base.pop_back();
    globals().sDataFolder = base + kPathSep + kFolderName;
    platform::IgnoreErrors([&] { platform::MakeFolder(globals().sDataFolder); });
}

double ReadConfig()
{
    Globals& g = globals();
    const IniReadBatch once;
    g.sConfigFile = g.sDataFolder + kPathSep + "Config.ini";
    g.sServerName = ReadIniValue(g.sConfigFile, "ServerName", "Quadrantel", kSetup);
    const double autostart = platform::Val(ReadIniValue(g.sConfigFile, "Autostart", "0", kSetup));
    g.bDebug = platform::Val(ReadIniValue(g.sConfigFile, "Debug", "0", kSetup)) != 0.0;
    return autostart;
}

} // namespace quadrantel::shell
