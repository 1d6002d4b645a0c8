#include "platform/DataFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quadrantel::platform {

std::string PathBytes(const QString& path)
{
    const QByteArray b = QFile::encodeName(path);
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

std::string GetSpecialFolder(int folder)
{
    QStringList paths;
    if (folder == CSIDL_APPDATA)
        paths = {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
    else if (folder == CSIDL_COMMON_APPDATA)
        paths = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).mid(1);
    for (const QString& p : paths)
        if (!p.isEmpty())
            return PathBytes(QDir::toNativeSeparators(p));
    return {};
}

std::string ProgramFolder()
{
    if (QCoreApplication::instance())
        return PathBytes(QCoreApplication::applicationDirPath());
    return PathBytes(QDir::currentPath());
}

std::string Environ(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool MakeFolder(const std::string& path)
{
    // The bytes as they are: decoding them as text would create a folder of another name.
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

} // namespace quadrantel::platform
