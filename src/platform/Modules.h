#pragma once

#include <cstdint>
#include <string>

namespace quadrantel::platform {

// A module loaded in the process: the program itself or a shared library. 0 is no module.
using ModuleHandle = std::uintptr_t;

// The handle of a loaded module, named by its file name ("libfoo.so.1"), that name without
// the version suffix ("libfoo.so" or "libfoo"), or its full path. The program's own file
// name gives the program. 0 when no such module is loaded.
ModuleHandle GetModuleHandle(const std::string& name);

// The full path of a module's file; handle 0 gives the program's own file. Empty when the
// handle names no loaded module with a file.
std::string GetModuleFileName(ModuleHandle module);

} // namespace quadrantel::platform
