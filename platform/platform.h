#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

class QFileDevice;

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

// Files and folders that hold secrets are for their owner only. On POSIX the
// open file gets mode 0600 and the folder 0700 (an existing one is tightened);
// on Windows they keep what the per-user folder gives them. True when the
// mode is in place (always on Windows).
bool restrictToOwner(QFileDevice &openFile);
bool restrictFolderToOwner(const QString &folder);

// Creates a new file for writing, refusing one that exists already, a link
// included (nothing planted at the path is ever followed or truncated). The
// stream is the caller's to fclose; null when the file cannot be created.
FILE *createNewFile(const QString &path);

// Starts the program at path on its own, without arguments, in its folder:
// through the shell on Windows (ShellExecute, so that an installer that asks
// for elevation gets the system's prompt), as a detached process elsewhere.
// False when it could not be started.
bool startProgram(const QString &path);

} // namespace platform
