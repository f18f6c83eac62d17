#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool startProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && QProcess::startDetached(info.absoluteFilePath(), QStringList(), info.absolutePath());
}

bool makeExecutable(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return false;
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser
                               | QFileDevice::ExeGroup);
}

bool restrictToOwner(QFileDevice &openFile)
{
    const int fd = openFile.handle();
    return fd >= 0 && ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
}

bool restrictFolderToOwner(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    // A link in place of the folder is left alone rather than followed.
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if ((info.st_mode & 07777) == S_IRWXU)
        return true;
    return ::chmod(path.constData(), S_IRWXU) == 0;
}

FILE *createNewFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return nullptr;
    FILE *stream = ::fdopen(fd, "wb");
    if (!stream)
        ::close(fd);
    return stream;
}

} // namespace platform
