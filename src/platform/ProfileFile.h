#pragma once

#include <cstddef>
#include <string>

namespace quadrantel::platform {

// Settings files with the contract of the desktop's private-profile functions:
// sections and keys matched without regard to case, blanks around keys and values
// trimmed, one pair of surrounding quotes removed on read, CR LF line ends, every
// other line kept byte for byte on write. Only regular files are read; anything else
// reads as missing.

// Copies the value (or the default when the key or file is missing) into a buffer of
// `size` characters and returns the count copied, at most size - 1 characters.
std::size_t GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::string& buffer, std::size_t size, const std::string& file);

// While one lives, each settings file is read once: the reads of a window's load see the
// file as it was at the first of them (and every write of the program since). Nested
// batches share the outermost one.
class ProfileReadBatch {
public:
    ProfileReadBatch();
    ~ProfileReadBatch();
    ProfileReadBatch(const ProfileReadBatch&) = delete;
    ProfileReadBatch& operator=(const ProfileReadBatch&) = delete;
};

// Replaces or adds key = value in the section, creating file and section when missing.
// The file is replaced atomically; a symbolic link is written through to its target. A
// file that exists but cannot be read, or is not a regular file, is left alone. Returns
// false when nothing was written.
bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& file);

} // namespace quadrantel::platform
