#pragma once

#include <string>

namespace quadrantel::platform {

constexpr int CSIDL_APPDATA = 26;        // per-user application data
constexpr int CSIDL_COMMON_APPDATA = 35; // all-users application data

// The path of a shell folder, or the empty text when it is unknown.
std::string GetSpecialFolder(int folder);
// The folder the program itself was started from.
std::string ProgramFolder();
// Value of an environment variable, empty when unset.
std::string Environ(const char* name);
// Creates a folder; an existing one is no error. Returns whether it exists afterwards.
bool MakeFolder(const std::string& path);

} // namespace quadrantel::platform
