#include "platform/DataFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cstdlib>

namespace quadrantel::platform {

std::string GetSpecialFolder(int folder)
{
    QStringList paths;
    if (folder == CSIDL_APPDATA)
        paths = {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
    else if (folder == CSIDL_COMMON_APPDATA)
        paths = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).mid(1);
    for (const QString& p : paths)
        if (!p.isEmpty())
            return QDir::toNativeSeparators(p).toStdString();
    return {};
}

std::string ProgramFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath().toStdString();
    return QDir::currentPath().toStdString();
}

std::string Environ(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool MakeFolder(const std::string& path)
{
    QDir dir;
    return dir.mkpath(QString::fromStdString(path));
}

} // namespace quadrantel::platform
