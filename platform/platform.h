#pragma once

#include <QString>
#include <QStringList>

// The few things that differ between Windows and the other systems.
// Each function has a Windows side (platform_win.cpp) and a POSIX side
// (platform_posix.cpp).
namespace platform {

// The per-user application-data folder: CSIDL_APPDATA on Windows,
// $XDG_CONFIG_HOME or ~/.config elsewhere. Native separators, no trailing one.
QString appDataFolder();

// appDataFolder() followed by zavix-winupload/crashes (native separators);
// empty when there is no data folder.
QString crashFolder();

// Creates the folder with every missing parent. True when it exists afterwards.
bool makeFolderPath(const QString &path);

// Claims the single running instance of the program for the rest of the
// process. False when another instance holds it. With waitMs > 0 the claim is
// retried for up to that long before giving up (used by the instance that a
// log-out starts while the old one is still ending).
bool checkSingleInstance();
bool checkSingleInstance(int waitMs);

// The command-line flag with which the program restarts itself after a
// log-out, and how long such a restarted instance waits for the old one.
QString restartedFlag();
QStringList restartArguments();
constexpr int kRestartWaitMs = 8000;

// The system command that powers the machine off one second from now.
struct ShutdownCommand
{
    QString program;
    QStringList arguments;
};
ShutdownCommand shutdownCommand();

// Marks a downloaded program as executable (no-op where not needed).
bool makeExecutable(const QString &path);

} // namespace platform
