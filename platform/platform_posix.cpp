#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

#include <memory>

namespace platform {

QString appDataFolder()
{
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base);
}

namespace {

// The lock lives until the process ends; its destructor removes the file at a
// normal exit. A crashed process leaves the file behind, but QLockFile sees
// that its process is gone and takes it over.
std::unique_ptr<QLockFile> &instanceLock()
{
    static std::unique_ptr<QLockFile> lock;
    return lock;
}

QString lockFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

} // namespace

bool checkSingleInstance(int waitMs)
{
    auto &lock = instanceLock();
    if (lock && lock->isLocked())
        return true;
    const QString folder = lockFolder();
    QDir().mkpath(folder);
    lock = std::make_unique<QLockFile>(folder + QStringLiteral("/fortest_abc123.lock"));
    // Only a dead owner makes the lock stale, never its age: a long-running
    // first instance keeps it for as long as it lives.
    lock->setStaleLockTime(0);
    if (lock->tryLock(qMax(0, waitMs)))
        return true;
    // Like the named mutex: only "someone else holds it" refuses the start.
    // When the lock cannot be created at all the program runs.
    const bool heldByOther = lock->error() == QLockFile::LockFailedError;
    lock.reset();
    return !heldByOther;
}

ShutdownCommand shutdownCommand()
{
    return {QStringLiteral("systemctl"), {QStringLiteral("poweroff")}};
}

bool makeExecutable(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return false;
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser
                               | QFileDevice::ExeGroup);
}

} // namespace platform
