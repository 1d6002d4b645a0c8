#pragma once

#include "platform/ProfileFile.h"

#include <string>
#include <string_view>

namespace quadrantel::shell {

// The value of key in section of a settings file: at most 254 characters, cut at the first
// NUL, trailing blanks removed; the default when the key is missing; empty when the key
// holds an empty value.
std::string ReadIniValue(const std::string& file, const std::string& key, const std::string& defaultValue,
                         const std::string& section);

// Writes key = value, creating file and section when missing. Returns false when the file
// was left unchanged (unreadable, read-only, not a regular file, folder missing).
bool WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value);

// While one lives, each settings file is read once, however many values a load reads.
using IniReadBatch = platform::ProfileReadBatch;

std::string TrimAtNull(std::string_view text);

} // namespace quadrantel::shell
