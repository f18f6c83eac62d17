#include "platform/platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include <fcntl.h>
#include <io.h>

namespace platform {

QString appDataFolder()
{
    // The wide-character call: a user name in Chinese is spelled right.
    wchar_t buffer[MAX_PATH];
    std::memset(buffer, 0, sizeof buffer);
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        buffer[0] = L'\0';
    return QString::fromWCharArray(buffer);
}

namespace {

// One attempt: true when this process now holds the mutex or creation failed;
// false when the object already existed. The handle of a successful creation
// stays open for the life of the process.
bool claimMutexOnce()
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"fortest_abc123");
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return true;
}

} // namespace

bool checkSingleInstance(int waitMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (claimMutexOnce())
            return true;
        if (timer.elapsed() >= waitMs)
            return false;
        QThread::msleep(100);
    }
}

ShutdownCommand shutdownCommand()
{
    return {QStringLiteral("shutdown.exe"), {QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("1")}};
}

bool makeExecutable(const QString &path)
{
    return QFileInfo::exists(path);
}

bool restrictToOwner(QFileDevice &)
{
    return true;
}

bool restrictFolderToOwner(const QString &)
{
    return true;
}

FILE *createNewFile(const QString &path)
{
    // CREATE_NEW fails on anything already at the path, a link included.
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                                      GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE *stream = _fdopen(fd, "wb");
    if (!stream)
        _close(fd);
    return stream;
}

bool startProgram(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    const QString program = QDir::toNativeSeparators(info.absoluteFilePath());
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t *>(program.utf16()), nullptr,
                      reinterpret_cast<const wchar_t *>(folder.utf16()), SW_SHOWNORMAL);
    // ShellExecute reports success with a value above 32.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace platform
