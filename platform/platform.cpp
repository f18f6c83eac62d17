#include "platform/platform.h"

#include <QDir>

namespace platform {

QString crashFolder()
{
    // Without a data folder the dump library picks its own fallback folder,
    // rather than a folder at the root of the current drive.
    const QString base = appDataFolder();
    if (base.isEmpty())
        return QString();
    return QDir::toNativeSeparators(base + QStringLiteral("/zavix-winupload/crashes"));
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
