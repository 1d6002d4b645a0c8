#include "about/Routines.h"

#include "about/VersionInfo.h"
#include "platform/Dialogs.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"

#include <exception>

namespace quadrantel::about {

std::string GetFileVersion(const std::string& name, bool isFile)
{
    auto report = [](const std::string& description, long number) {
        platform::CurrentDialogs().messageBox("Error: " + description + " (" + std::to_string(number) + ")",
                                              0 /* OK only */, shell::globals().sAppName);
    };
    try {
        VersionInfo info;
        if (isFile)
            info.setFileName(name);
        else
            info.setModuleName(name);
        return info.FileVersion();
    } catch (const platform::RuntimeError& e) {
        report(e.description(), e.number());
    } catch (const std::exception& e) {
        report(e.what(), 0);
    }
    return {};
}

} // namespace quadrantel::about
