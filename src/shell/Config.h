#pragma once

#include <string>

namespace quadrantel::shell {

// Values set at start-up or when the main window loads, read across subsystems.
struct Globals {
    std::string sDataFolder;                // data root + "/Quadrantel", no trailing separator
    std::string sConfigFile;                // sDataFolder + "/Config.ini"
    std::string sServerName = "Quadrantel"; // socket key of the one connection
    bool bDebug = false;                    // debug lines go to the log
    std::string sAddress = "127.0.0.1";
    std::string sPort = "6809";
    std::string sVID;
    std::string sAppName = "Quadrantel";
    std::string sVersion = "1.0.0";
};

Globals& globals();

inline constexpr char kPathSep = '/';
inline constexpr const char* kSetup = "Setup";
inline constexpr const char* kFolderName = "Quadrantel";

// The application-data root: "AppData", else the per-user, else the all-users
// application-data folder, else the program's own folder.
std::string ChooseDataRoot();

// Sets sDataFolder below the root and creates the folder (an existing one is no error).
void SetupDataFolder(const std::string& root);

// Sets sConfigFile, sServerName and bDebug; returns the numeric Autostart value.
double ReadConfig();

// Only an Autostart of exactly 1 skips the setup window.
inline bool IsAutostart(double value)
{
    return value == 1.0;
}

} // namespace quadrantel::shell
