#include "platform/platform.h"

#include <QDir>

namespace platform {

QString crashFolder()
{
    return QDir::toNativeSeparators(appDataFolder() + QStringLiteral("/zavix-winupload/crashes"));
}

bool makeFolderPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    QDir dir;
    return dir.mkpath(path) && QDir(path).exists();
}

QString restartedFlag()
{
    return QStringLiteral("--restarted");
}

QStringList restartArguments()
{
    return {restartedFlag()};
}

bool checkSingleInstance()
{
    return checkSingleInstance(0);
}

} // namespace platform
