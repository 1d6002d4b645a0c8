#pragma once

#include <string>

class QString;

namespace quadrantel::platform {

constexpr int CSIDL_APPDATA = 26;        // per-user application data
constexpr int CSIDL_COMMON_APPDATA = 35; // all-users application data

// Paths are bytes as the file system holds them, whatever their encoding; a path that Qt
// hands over becomes bytes only through this, and paths are never decoded back as text.
std::string PathBytes(const QString& path);

// The path of a shell folder, or the empty text when it is unknown.
std::string GetSpecialFolder(int folder);
// The folder the program itself was started from.
std::string ProgramFolder();
// Value of an environment variable, empty when unset.
std::string Environ(const char* name);
// Creates a folder; an existing one is no error. Returns whether it exists afterwards.
bool MakeFolder(const std::string& path);

} // namespace quadrantel::platform
