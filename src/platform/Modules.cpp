#include "platform/Modules.h"

#include <link.h>

#include <filesystem>
#include <string_view>

namespace quadrantel::platform {
namespace {

std::string ProgramFile()
{
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string_view BaseName(std::string_view path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool NameMatches(std::string_view path, std::string_view name)
{
    const std::string_view base = BaseName(path);
    if (path == name || base == name)
        return true;
    // "libfoo.so" and "libfoo" stand for "libfoo.so.1.2".
    const auto so = base.find(".so");
    if (so == std::string_view::npos || (so + 3 < base.size() && base[so + 3] != '.'))
        return false;
    return name == base.substr(0, so + 3) || name == base.substr(0, so);
}

struct Search {
    std::string_view name; // find by name ...
    ModuleHandle handle{}; // ... or by handle
    ModuleHandle found{};
    std::string path;
};

int Visit(dl_phdr_info* info, size_t, void* data)
{
    auto& s = *static_cast<Search*>(data);
    const auto handle = reinterpret_cast<ModuleHandle>(info->dlpi_phdr);
    // The program itself comes first and has no name of its own.
    const bool program = info->dlpi_name == nullptr || info->dlpi_name[0] == '\0';
    const std::string path = program ? ProgramFile() : std::string(info->dlpi_name);
    const bool match = s.handle ? handle == s.handle : (!path.empty() && NameMatches(path, s.name));
    if (!match)
        return 0;
    s.found = handle;
    s.path = path;
    return 1;
}

} // namespace

ModuleHandle GetModuleHandle(const std::string& name)
{
    if (name.empty())
        return 0;
    Search s;
    s.name = name;
    dl_iterate_phdr(Visit, &s);
    return s.found;
}

std::string GetModuleFileName(ModuleHandle module)
{
    if (module == 0)
        return ProgramFile();
    Search s;
    s.handle = module;
    dl_iterate_phdr(Visit, &s);
    return s.path;
}

} // namespace quadrantel::platform
