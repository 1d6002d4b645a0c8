#pragma once

#include <string>

namespace quadrantel::about {

// The FileVersion text of a file's (isFile) or loaded module's version resource; the empty
// text when it has none. An unexpected error is shown in a message box.
std::string GetFileVersion(const std::string& name, bool isFile);

} // namespace quadrantel::about
